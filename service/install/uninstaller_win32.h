// `kestrune_service uninstall`: stops and deletes the service, puts the
// endpoint back, and removes registrations, settings, shortcuts and files.
// Every step tolerates missing pieces, so it can be run again.
#pragma once

namespace kestrune::service {

// 0 on success, 1 on failure. Prints to stdout.
int UninstallProduct();

}  // namespace kestrune::service
