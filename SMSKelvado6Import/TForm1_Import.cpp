// The import run of Kelvimport's window.
#include "TForm1.h"

void TForm1::aStartImportExecute() {}
