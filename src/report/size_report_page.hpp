// The size report's page, built in: its template, style and script are the
// files src/report/size_report.html, .css and .js, made into these constants
// at build time (cmake/embed.cmake).
#pragma once

#include <string_view>

namespace tarnel {

extern const std::string_view kSizeReportTemplate;
extern const std::string_view kSizeReportStyle;
extern const std::string_view kSizeReportScript;

}  // namespace tarnel
