// CScanDatabase: the detection thread. Each pass reads the generation of the sibling ports and
// nodes the engine has in force (CTarvellFrm::SiblingData, read in place: the loader built it
// outside every lock), runs the threat rules over the ports and the node rules over the nodes
// against the generation the previous pass read, asks for switch polls and linkup checks where a
// port or a node calls for one, and keeps this pass's generation for the next pass. A generation
// stays alive while a pass holds it: until the pass after the one that read it first.
//
// Pacing: a pass runs as soon as the engine has swapped in a new generation of the sibling data
// or published new settings (CTarvellFrm::DataGeneration), and otherwise once a second. The
// sibling data changes only in the engine's pass, so nothing is missed, and a lasting condition
// is raised once per change.
//
// Threads: Run and every member below belong to the thread (or to a test that calls RunPass
// without starting it). The engine is reached only through its look-ups, RecordEvent and
// QueueAlert, which take the engine's locks inside; no lock is held here while the rules run.
// Polls and linkup checks are only requested: the starters never block.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/ObjectMap.h"
#include "platform/WorkerThread.h"
#include "service/detection/ThreatRules.h"
#include "service/engine/CTarvellFrm.h"
#include "service/linkup/LinkupStarter.h"
#include "service/polling/PollRequest.h"

namespace tarvell {

struct ScanPacing {
    std::int64_t idlePassMs = 1000;  // a pass at least this often when nothing changed
    std::int64_t tickMs = 50;        // how often the engine's generation counter is looked at
    bool yieldEvery100 = true;       // a 1 ms pause every 100 records of each walk
};

class CScanDatabase : public WorkerThread {
public:
    CScanDatabase(CTarvellFrm& engine, PollStarter& polls, LinkupStarter& linkup,
                  ScanPacing pacing = {});
    ~CScanDatabase() override { StopAndJoin(); }

    // One pass: the generation in force, the rules (when detection is on and the previous pass
    // left an enabled port and a located node), the generation kept for the next pass. When the
    // engine's data generation has not moved since the previous pass, that pass's generation
    // is read again, as the same data.
    void RunPass();

    // The steps of a pass, public for tests.
    static void CopyRecord(const CDbItem& from, CDbItem& to);
    void ScanRound();
    void RaiseDetectionEvent(int severity, const std::string& category, const std::string& portKey,
                             const std::string& sourceKey, const std::string& type,
                             const std::string& current, const std::string& before);
    void RaiseThreatCleared(int severity, const std::string& category, const std::string& portKey,
                            const std::string& sourceKey, const std::string& type,
                            const std::string& current, const std::string& before);

    // What the previous pass left (for tests): its enabled ports and its enabled nodes with a
    // switch and a port, read in its generation.
    using RecordIndex = std::map<std::string, const CDbItem*>;
    RecordIndex EnabledPorts() const;
    RecordIndex LocatedNodes() const;
    // The generation the previous pass read (for tests).
    const std::shared_ptr<const SiblingView>& PreviousGeneration() const { return previous_; }
    const ThreatLevels& Levels(ThreatRule rule) const;
    // Passes completed; safe to read from any thread.
    std::uint64_t Passes() const { return passes_.load(); }

protected:
    void Run() override;

private:
    ThreatLevels& LevelsOf(ThreatRule rule);
    // The 1 ms pause of a walk before every 100th record; true when the thread is asked to stop.
    bool Yield(std::size_t& counter);
    void ScanPorts(const CTarvellDoc& settings);
    void ScanNodes(const CTarvellDoc& settings);
    void ScanNode(const std::string& key, const CDbItem& node, const CTarvellDoc& settings);
    void StartPoll(const CDbItem& port, const CTarvellDoc& settings);
    void StartLinkupChecks(const CDbItem& node, const CDbItem& sw, const CTarvellDoc& settings);
    void DropVanishedPendingNodes();
    // The readable side of a "Changed Port" text: "<switch name> (<switch IP>) - <port name>".
    std::string ReadablePort(const std::string& portKey);
    std::unique_ptr<CEventItem> BuildEvent(const std::string& portKey, const std::string& sourceKey,
                                           const std::string& type, bool wholeLists);
    std::string SnapshotPortName(const std::string& portKey) const;
    // The records of the previous pass the rules compare with: an enabled port, an enabled node
    // with a switch and a port; nullptr for any other.
    const CDbItem* PreviousPort(const std::string& key) const;
    const CDbItem* PreviousNode(const std::string& key) const;
    // The records of this pass (with the previous pass's data, as the previous pass left them).
    const CDbItem* CurrentPort(const std::string& key) const;
    const CDbItem* CurrentNode(const std::string& key) const;
    // This pass's look-ups of one switch.
    struct SwitchEntry {
        std::optional<CDbItem> record;                              // nullopt: absent or disabled
        std::array<signed char, 4> threatSelected{-1, -1, -1, -1};  // -1 not asked yet
    };
    SwitchEntry& EntryOf(const std::string& key);
    const CDbItem* SwitchOf(const std::string& key);
    bool ThreatSelected(SwitchEntry& entry, ThreatRule rule, const std::string& switchKey);

    CTarvellFrm& engine_;
    PollStarter& polls_;
    LinkupStarter& linkup_;
    const ScanPacing pacing_;

    // The generation this pass reads, and the one the previous pass read (the same one when the
    // engine's data generation has not moved: sameData_).
    std::shared_ptr<const SiblingView> current_;
    std::shared_ptr<const SiblingView> previous_;
    bool sameData_ = false;
    ThreatLevels errorsLevels_;
    ThreatLevels receiveLevels_;
    ThreatLevels transmitLevels_;
    ThreatLevels broadcastLevels_;
    std::optional<std::uint64_t> setsGeneration_;  // the data generation previous_ belongs to
    std::map<std::string, SwitchEntry> switches_;  // this pass's switch look-ups
    CDbItem reference_;                            // scratch of the node look-up
    std::atomic<std::uint64_t> passes_{0};
};

}  // namespace tarvell
