#pragma once

#include <QString>

// Process-wide test setup shared by every test executable's main().
namespace HLVTestEnvironment {

// Points the preferences at a temporary folder and names the application.
void prepare();

// True when the tests run as root, where file permissions do not stop reads or writes.
bool runningAsRoot();

} // namespace HLVTestEnvironment
