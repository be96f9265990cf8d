// The import run of Kelvimport's window.
#include "ImportRun.h"
#include "TForm1.h"

void TForm1::aStartImportExecute() {
  closeAfterRun_ = false;
  {
    // Cleared however the run leaves, an exception that no block of it
    // catches included: a close put off until the run's end would otherwise
    // be put off for good.
    struct Executing {
      bool& flag;
      explicit Executing(bool& f) : flag(f) { flag = true; }
      ~Executing() { flag = false; }
    } executing(runExecuting_);
    ImportRun run(*this);
    run.Execute();
  }
  if (closeAfterRun_) close();
}
