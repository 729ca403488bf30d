// A walk of table columns side by side: get-next or GetBulk requests through a sender the caller
// gives, each answer cut into rows of one binding per column. Both request kinds give the same
// rows in the same order from an agent that follows the protocol.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <vector>

#include "platform/snmp/Session.h"

namespace tarvell::snmp {

// One row: the bindings of one step, one per column in the columns' order. A column that has
// ended holds whatever the agent answered past it (another column, an exception).
using WalkRow = std::vector<VarBind>;

enum class WalkEnd {
    Done,         // the last column left its subtree (or the agent stopped moving)
    Failed,       // a request got no usable answer (`failure` says what came)
    BulkRefused,  // a GetBulk got an error, nothing, or no whole row; get-next may go on
    RowLimit,     // `maxRows` rows were taken and more came
    Stopped,      // the stop test said so, or a request was cancelled (Timing::cancel)
};

struct WalkStep {
    bool bulk = false;
    std::int32_t maxRepetitions = 16;
    std::size_t maxRows = 100'000;
    std::function<bool()> stop;
};

// Sends one request of `pduType` (get-next or GetBulk with `maxRepetitions`).
using WalkSender = std::function<Reply(std::uint8_t pduType, std::int32_t maxRepetitions,
                                       std::vector<VarBind> bindings)>;

class ColumnWalk {
public:
    // `ordered`: a row ends the walk unless its last binding comes after the one before; else a
    // row ends it when its last binding repeats one of this walk (agents whose rows are out of
    // order). The prefix of each column is the column itself.
    ColumnWalk(std::vector<Oid> columns, bool ordered);

    // Requests until the walk ends; after BulkRefused it may be run again (get-next) and goes on
    // from the row it reached.
    WalkEnd Run(const WalkSender& send, const WalkStep& step,
                const std::function<void(const WalkRow&)>& onRow);

    const Reply& Failure() const { return failure_; }
    std::size_t Rows() const { return rows_; }
    std::size_t Requests() const { return requests_; }

private:
    // Takes one row; false when it ends the walk.
    bool Take(const WalkRow& row, const std::function<void(const WalkRow&)>& onRow);
    bool InColumn(std::size_t i, const VarBind& binding) const;

    const std::vector<Oid> columns_;
    const bool ordered_;
    std::vector<Oid> positions_;
    std::set<Oid> seen_;
    std::size_t rows_ = 0;
    std::size_t requests_ = 0;
    Reply failure_;
};

}  // namespace tarvell::snmp
