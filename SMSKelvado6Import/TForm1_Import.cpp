// The import run of Kelvimport's window.
#include "ImportRun.h"
#include "TForm1.h"

void TForm1::aStartImportExecute() {
  runExecuting_ = true;
  closeAfterRun_ = false;
  {
    ImportRun run(*this);
    run.Execute();
  }
  runExecuting_ = false;
  if (closeAfterRun_) close();
}
