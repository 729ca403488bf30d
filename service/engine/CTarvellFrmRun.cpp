// The engine thread: start-up, the pass every interval, and a clean stop.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <new>
#include <system_error>

#include "platform/Files.h"
#include "platform/ManualResetEvent.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "service/engine/CTarvellFrm.h"
#include "service/engine/Installation.h"
#include "service/engine/SettingsInRange.h"
#include "service/engine/SnmpClient.h"

namespace tarvell {

namespace {

constexpr const char* kSiblingServiceKey = "SYSTEM\\CurrentControlSet\\Services\\Quenmark Ombrix";

// The folder of the sibling product's program: its service entry's ImagePath up to the last
// separator. Empty when the product is not installed; nullopt when the registry store could not
// be read.
std::optional<std::string> SiblingFolderFromRegistry() {
    RegKey key;
    RegResult result = Registry::Default().OpenKey(Hive::LocalMachine, kSiblingServiceKey, &key);
    std::string imagePath;
    if (result == kRegSuccess) result = key.QueryString("ImagePath", &imagePath);
    if (result == kRegNotFound || result == kRegWrongType) return std::string();
    if (result != kRegSuccess) return std::nullopt;
    const auto cut = imagePath.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : imagePath.substr(0, cut);
}

// What the SNMP client reads of the settings, from one snapshot.
SnmpClientSettings SnmpSettingsOf(const CTarvellDoc& doc) {
    SnmpClientSettings s;
    s.SnmpTimeout = static_cast<std::uint32_t>(doc.SnmpTimeout);
    s.SnmpRetries = static_cast<std::uint32_t>(doc.SnmpRetries);
    s.SnmpV3SecurityModel = static_cast<std::uint32_t>(doc.SnmpV3SecurityModel);
    s.SnmpV3SecurityLevel = static_cast<std::uint32_t>(doc.SnmpV3SecurityLevel);
    s.SnmpV3AuthProtocol = static_cast<std::uint32_t>(doc.SnmpV3AuthProtocol);
    s.SnmpV3PrivProtocol = static_cast<std::uint32_t>(doc.SnmpV3PrivProtocol);
    s.SnmpV3Context = doc.SnmpV3Context;
    s.SnmpV3User = doc.SnmpV3User;
    s.SnmpV3PrivPassword = doc.SnmpV3PrivPassword;
    s.SnmpV3AuthPassword = doc.SnmpV3AuthPassword;
    s.SnmpV3EngineId = doc.SnmpV3EngineId;
    s.SnmpTrapSpecific = static_cast<std::uint32_t>(doc.SnmpTrapSpecific);
    s.SnmpTrapEnterprise = doc.SnmpTrapEnterprise;
    return s;
}

std::vector<std::string> FirewallCommandFromEnvironment() {
    const char* text = std::getenv("TARVELL_FIREWALL_COMMAND");
    return text ? SplitAny(text, " ") : std::vector<std::string>{};
}

}  // namespace

EngineEnvironment SystemEngineEnvironment() {
    EngineEnvironment env;
    env.ServiceFolder = ServiceFolder();
    env.HandOverFolder = HandoverFolder();
    env.SiblingFolder = SiblingFolderFromRegistry().value_or(std::string());
    env.siblingFolderNow = SiblingFolderFromRegistry;
    env.firewallCommand = FirewallCommandFromEnvironment();
    return env;
}

void CTarvellFrm::Run(ManualResetEvent& stop) {
    StartUp(stop);
    while (!stop.WaitFor(env_.passIntervalMs)) {
        const std::string failure = ResourceFailureOf([this] { Pass(); });
        // Said once while passes fail, and once when one completes again.
        if (!failure.empty() && !passTrouble_)
            Log("The engine's pass could not be completed (" + failure +
                "); the next pass tries again");
        if (failure.empty() && passTrouble_) Log("The engine's pass completes again");
        passTrouble_ = !failure.empty();
    }
    ShutDown();
}

// What ended `step` when threads or memory ran out, or an empty text when it completed. Such a
// failure passes; the engine goes on with what it has. Any other exception ends the engine.
template <class Step>
std::string CTarvellFrm::ResourceFailureOf(Step step) {
    try {
        step();
        return {};
    } catch (const std::system_error& e) {
        return e.what();
    } catch (const std::bad_alloc&) {
        return "out of memory";
    }
}

void CTarvellFrm::StartUp(ManualResetEvent& stop) {
    RemoveStaleTemporaryFiles();
    LoadSettingsAtStart();
    LoadAlertLog();
    LoadEventDatabase();
    LoadSiblingDatabase();
    LoadReportStore();
    ApplyViewerUpdates();
    PruneAlertLog();
    PurgeDeletedEvents();
    RequeueUndelivered(*Settings());
    CreateSnmpClient();
    AddFirewallException(stop);
    StartWorkers();
}

// A kill during a save leaves the writer's temporary file, which only a later save of the same
// file clears (a past day's archive gets none). They go at start-up, before any writer of this
// process runs. A file that another process is writing just now (it holds the
// writer's lock) is left alone.
void CTarvellFrm::RemoveStaleTemporaryFiles() {
    DIR* dir = ::opendir(ServiceFolder.c_str());
    if (dir == nullptr) return;
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(dir))
        if (IsOwnTemporaryName(entry->d_name)) stale.emplace_back(entry->d_name);
    ::closedir(dir);
    for (const std::string& name : stale) {
        const std::string path = JoinPath(ServiceFolder, name);
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
        FileLock writer;
        if (S_ISREG(st.st_mode) && !writer.Lock(path, FileLock::Mode::Exclusive, false)) continue;
        if (::unlink(path.c_str()) == 0)
            Log("Temporary file " + path + " left by an earlier run was removed");
    }
}

// Load "Tarvell.ini" or create it with the defaults. A file that exists but does not load
// (damaged, or a version no layout knows) is kept aside and the service starts on the defaults,
// written to a new file, rather than on a half-read or empty document. A file that could not be
// read for the moment (locked by a writer for longer than the load waits, or an I/O error) is
// not damaged: it is left as it is, the service runs on the defaults in memory, and the pass
// reloads it. So does a file that is not the service's own (written in place by someone else, or
// given away): it is neither read nor replaced, and the first pass, run by start-up next, says
// why in its one line about it.
void CTarvellFrm::LoadSettingsAtStart() {
    DocResult result = Document->OnNewDocument(clock());
    const bool refused = result.status == DocStatus::Refused;
    if (!result) {
        const std::string path = JoinPath(ServiceFolder, CTarvellDoc::kFileName);
        const bool damaged =
            result.status == DocStatus::Damaged || result.status == DocStatus::UnknownVersion;
        Document = std::make_unique<CTarvellDoc>();
        Document->Version = Version;
        Document->SetPathName(ServiceFolder);
        if (damaged) {
            const std::string aside = FileExists(path) ? MoveAside(path, clock()) : std::string();
            Log("Settings file " + path + " could not be loaded (" + result.message + ")" +
                (aside.empty() ? std::string() : "; kept as " + aside) +
                "; starting with defaults");
            const DocResult created = Document->OnNewDocument(clock());
            if (!created) {
                Log("Settings file " + path + " could not be created: " + created.message);
                Document->SetDefaults();
            }
        } else {
            if (!refused)
                Log("Settings file " + path + " could not be read (" + result.message +
                    "); running on defaults until it can be read");
            Document->SetDefaults();
            settingsOnDefaults_ = true;
        }
    }
    Document->Version = Version;
    CTarvellDoc defaults;
    defaults.SetDefaults();
    if (KeepSettingsInRange(*Document, defaults, [this](const std::string& m) { Log(m); }) &&
        !refused) {
        const DocResult saved = Document->OnSaveDocument(clock());
        if (!saved) Log("The settings file could not be saved: " + saved.message);
    }
    PublishSettings();
}

// One SNMP client for the service; it reads the current settings snapshot on every request and
// keeps its boot counter in the service folder.
void CTarvellFrm::CreateSnmpClient() {
    SnmpClientOptions options;
    options.bootCounterPath = JoinPath(ServiceFolder, kBootCounterName);
    options.trapPort = env_.trapManagerPort;
    options.agentPort = env_.snmpAgentPort;
    Snmp = std::make_unique<SnmpClient>([this] { return SnmpSettingsOf(*Settings()); }, options);
}

void CTarvellFrm::AddFirewallException(ManualResetEvent& stop) {
    if (env_.firewallCommand.empty()) return;
    ProcessOptions options;
    options.argv = env_.firewallCommand;
    options.timeLimitMs = env_.firewallTimeLimitMs;
    options.cancel = &stop;
    options.captureOutput = true;
    const ProcessResult result = RunProcess(options);
    if (result.end == ProcessEnd::TimedOut) Log("Firewall command did not finish in time");
}

void CTarvellFrm::StartWorkers() {
    if (!env_.startWorker) return;
    for (int slot = 0; slot < kWorkerSlots; ++slot) {
        auto stopWorker = env_.startWorker(static_cast<WorkerSlot>(slot), *this);
        if (stopWorker) workerStops_.push_back(std::move(stopWorker));
    }
}

void CTarvellFrm::StopWorkers() {
    // Every worker is asked at once; then, last started first joined, the listener goes before
    // the threads that feed it.
    for (auto it = workerStops_.rbegin(); it != workerStops_.rend(); ++it)
        if (it->request) it->request();
    for (auto it = workerStops_.rbegin(); it != workerStops_.rend(); ++it) it->join();
    workerStops_.clear();
}

void CTarvellFrm::Pass() {
    ApplyViewerUpdates();
    NoteSiblingFolderChange();
    LoadSiblingDatabase();
    SaveStateFiles();
    if (env_.afterPass) env_.afterPass();
}

// The sibling folder is resolved once, at start. A registration made or changed while the
// service runs is said once, so that nobody waits for data this run is not going to read.
void CTarvellFrm::NoteSiblingFolderChange() {
    if (!env_.siblingFolderNow) return;
    const std::optional<std::string> now = env_.siblingFolderNow();
    if (!now || *now == siblingFolderSeen_) return;
    siblingFolderSeen_ = *now;
    if (*now == SiblingFolder) return;  // back to the folder in use
    const std::string nextStart = " from the next start of the service";
    if (SiblingFolder.empty())
        Log("The sibling product is now registered with the folder " + *now +
            "; its database is read" + nextStart);
    else if (now->empty())
        Log("The sibling product is no longer registered; its database in " + SiblingFolder +
            " is read until the next start of the service");
    else
        Log("The sibling product is now registered with the folder " + *now +
            "; its database there is read" + nextStart + ", the one in " + SiblingFolder +
            " until then");
}

// A clean stop: the workers are stopped and joined first, so that nothing they record is lost,
// then the state files are written one last time.
void CTarvellFrm::ShutDown() {
    std::string failure = ResourceFailureOf([this] { StopWorkers(); });
    if (!failure.empty()) Log("The workers could not all be stopped (" + failure + ")");
    failure = ResourceFailureOf([this] { SaveStateFiles(); });
    if (!failure.empty()) Log("The last save could not be completed (" + failure + ")");
}

void CTarvellFrm::QueueTestAlert(int controlCode) {
    switch (controlCode) {
        case 136: QueueTestAlert(AlertChannel::Email); return;
        case 137: QueueTestAlert(AlertChannel::Snmp); return;
        case 144: QueueTestAlert(AlertChannel::Syslog); return;
        case 145: QueueTestAlert(AlertChannel::Run); return;
        default: Log("Bad service request"); return;
    }
}

}  // namespace tarvell
