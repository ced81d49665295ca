// A process that only exists to be seen: copied under a game's file name and
// killed by the test. Ends on its own after 60 s in case the test cannot.
#include <windows.h>

int main() {
  ::Sleep(60000);
  return 0;
}
