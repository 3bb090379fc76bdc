#include "Form1.h"

namespace quillon {

// Clipboard, web lookup, home pages, about box and update check.

void Form1::Label13_Click() {
}

void Form1::Label14_Click() {
}

void Form1::Label15_Click() {
}

void Form1::Label18_Click() {
}

void Form1::Label21_Click() {
}

void Form1::Label24_Click() {
}

void Form1::About_Click() {
}

void Form1::ChkUpdate_Click() {
}

} // namespace quillon
