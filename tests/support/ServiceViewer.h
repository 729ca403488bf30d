// A viewer hub beside a running service: its program folder is the service's folder, as for the
// viewer installed with the service, and its registry lies under the service's root.
#pragma once

#include <string>

#include "platform/Registry.h"
#include "tests/support/RunningService.h"
#include "viewer/core/hub/CTarvellApp.h"

namespace tarvell::testing {

struct ServiceViewer {
    // `user`@`domain` is the identity the hub reads (none when `user` is empty).
    explicit ServiceViewer(const RunningService& service, const std::string& user = {},
                           const std::string& domain = {})
        : registry(service.Root() / "machine", service.Root() / "user"),
          environment(Beside(service, registry, user, domain)),
          app(environment) {
        if (!user.empty()) app.ReadIdentity();
    }
    // True once the hub has read the service's settings.
    bool Connected(int ms = 10'000) {
        return WaitUntil([&] { return app.ReloadDocument(); }, ms);
    }

    Registry registry;
    ViewerEnvironment environment;
    CTarvellApp app;

private:
    static ViewerEnvironment Beside(const RunningService& service, Registry& registry,
                                    const std::string& user, const std::string& domain) {
        ViewerEnvironment viewer;
        viewer.programFolder = service.Folder();
        viewer.registry = &registry;
        viewer.mountInfo = [] { return std::string(); };
        if (!user.empty()) {
            viewer.identity.userName = [user] { return user; };
            viewer.identity.domainName = [domain] { return domain; };
        }
        return viewer;
    }
};

}  // namespace tarvell::testing
