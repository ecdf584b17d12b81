// The per-user working folder: the local low-integrity application data
// folder and the three model names of model queries 15, 11 and 14.
#pragma once

#include <string>
#include <vector>

#include "model/modelsmith.h"
#include "win/types.h"

namespace inkforge {

struct PDEV;

// The user's base folder for the running Windows version, ending with a backslash.
std::u16string UserBaseFolder();

// The model names of queries 15, 11 and 14 in that order, the empty ones
// left out; they name the working folder and the clean-up registration.
std::vector<std::u16string> ModelFolderNames(PFN_mdGetMyPrinterInfo query, LPCVOID modelData);

// The working folder ending with a backslash; FALSE without the model query.
BOOL GetWorkingFolder(PFN_mdGetMyPrinterInfo query, LPCVOID modelData, std::u16string* path);

// The same with the model library loaded for the call.
BOOL GetWorkingFolder(PDEV* pdev, std::u16string* path);

} // namespace inkforge
