// The process entry of the test card. On Windows the program is linked
// for the GUI subsystem, whose start-up code calls main as well.
#include "card/program.h"

int main(int argc, char** argv) { return CardMain(argc, argv); }
