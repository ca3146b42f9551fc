// The way the non-window layers tell the user of a failure: a modal message box with an OK
// button. They are handed this function; the window host supplies the real one, tests a
// recorder.
#pragma once

#include <functional>
#include <string>

using MessageBoxFn = std::function<void(const std::string& text)>;
