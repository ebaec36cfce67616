// Entry of the gauge tests.
#include "GuiTestMain.h"

int main(int argc, char** argv) { return deckhand::testing::RunGuiTests(argc, argv); }
