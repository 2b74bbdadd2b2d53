#pragma once

#include <functional>

// "On the main thread" means on the Qt event loop of the application object.
namespace HLVMainThread {

bool isMainThread();

// Runs the function on the main thread's event loop, later (never inline).
void post(std::function<void()> function);

} // namespace HLVMainThread
