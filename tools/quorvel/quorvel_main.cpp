// The viewer on the live host: an SDL window with the real keyboard, mouse
// and clock. Run it in a folder that holds the data files.
#include "app/app.h"

int main(int, char**) {
  // The system reads no command line.
  char commandLine[] = "";
  return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWNORMAL);
}
