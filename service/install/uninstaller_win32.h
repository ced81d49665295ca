// `kestrune_service uninstall`: puts the endpoint back (through the service,
// started when it is stopped; directly once it has stopped when it cannot be
// reached), then deletes the service and removes registrations, settings,
// shortcuts and files. When the endpoint cannot be put back, or the service
// does not stop, nothing is removed and a service that was running runs on.
// Every step tolerates missing pieces, so it can be run again.
#pragma once

namespace kestrune::service {

// 0 on success, 1 on failure. Prints to stdout.
int UninstallProduct();

}  // namespace kestrune::service
