#pragma once
// Work that must be done on every way the program ends, the abrupt end of
// Dialogs::EndProgram included: the address books being written are finished,
// so that each file alone holds every document. Added once by the code that
// starts such work (the same function added twice is kept once). Run by every
// way of ending that ends the process, and at a normal end; running it again
// does nothing until more is added.

void AddProgramEndWork(void (*work)());
void RunProgramEndWork();
