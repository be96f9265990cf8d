// The login dialog: the in-memory dialog template and the dialog object
// that fills it, checks it and hands back what was typed.
#pragma once

#include "CMyDialogTemplate.h"
#include "TRdmLogin.h"
