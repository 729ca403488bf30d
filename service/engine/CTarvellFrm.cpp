#include "service/engine/CTarvellFrm.h"

#include "platform/EventLog.h"
#include "platform/RecursiveLock.h"
#include "service/engine/SnmpClient.h"

namespace tarvell {

CTarvellFrm::CTarvellFrm(EngineEnvironment env)
    : HandOverFolder(env.HandOverFolder),
      ServiceFolder(env.ServiceFolder),
      Document(std::make_unique<CTarvellDoc>()),
      SiblingFolder(env.SiblingFolder),
      env_(std::move(env)),
      clock_(env_.clock ? env_.clock : &DefaultClock()) {
    Document->Version = Version;
    Document->SetPathName(ServiceFolder);
    settings_ = std::make_shared<const CTarvellDoc>(*Document);
    siblingFolderSeen_ = SiblingFolder;
}

// Workers started without the clean stop that follows are stopped and joined here, before any
// member they use goes.
CTarvellFrm::~CTarvellFrm() { StopWorkers(); }

std::shared_ptr<const CTarvellDoc> CTarvellFrm::Settings() const {
    std::lock_guard<std::mutex> guard(settingsMutex_);
    return settings_;
}

void CTarvellFrm::PublishSettings() {
    auto snapshot = std::make_shared<const CTarvellDoc>(*Document);
    {
        std::lock_guard<std::mutex> guard(settingsMutex_);
        settings_ = std::move(snapshot);
    }
    // New settings leave the sibling data as it was: a view that was current stays current.
    RecursiveGuard lock(EngineLock);
    std::lock_guard<std::mutex> view(viewLock_);
    const std::uint64_t before = DataGeneration.fetch_add(1);
    if (siblingViewGeneration_ == before) siblingViewGeneration_ = before + 1;
}

void CTarvellFrm::Log(const std::string& text) const {
    if (env_.log) env_.log->Log(text);
}

}  // namespace tarvell
