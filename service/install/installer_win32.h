// `kestrune_service install`: copies the product into Program Files,
// registers the effect, seeds the settings, prepares the effect's log,
// creates or repoints the service and starts it, and adds the shortcut and
// the uninstall entry. Run again, it repairs and upgrades; run from the
// install folder it reinstalls the newest installed effect copy. A failure
// leaves a service that was running running.
#pragma once

namespace kestrune::service {

// 0 when the service is running at the end, else 1. Prints to stdout.
int InstallProduct();

}  // namespace kestrune::service
