#pragma once

#include <QString>
#include <string>

namespace tcpipset {

// The file and product version of the program.
inline constexpr const char* ApplicationVersionText = "1.0.0.2";

// Fixes, once the application object exists, what it carries for the whole run: the title
// taken from the running executable's file name, the version, the icon, the menu entry it
// belongs to, and the timing of tooltips.
void SetUpApplication();

// The caption of the notice dialog and of the error report.
QString ApplicationTitle();

// A text of the system (UTF-8) as a widget shows it; a carriage return and line feed end
// one line.
QString DisplayText(const std::string& text);

} // namespace tcpipset
