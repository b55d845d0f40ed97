// The program a frame harness runs: the cube or the test card, as it ships.
#pragma once

void HarnessProgram();
