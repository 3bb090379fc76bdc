#include "Form1.h"

namespace quillon {

// The Generate command.
void Form1::Command2_Click() {
}

} // namespace quillon
