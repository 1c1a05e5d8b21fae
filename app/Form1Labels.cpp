// The labels file commands of the window.
#include "app/FileDialogs.h"
#include "app/Form1.h"

namespace app {

void Form1::LBLload_Click() {}

void Form1::LBLSave_Click() {}

}  // namespace app
