// The fixed parts of the viewer's page: its style sheet, its controls and its script. The
// script reads the run from the JSON block with id "run-data" written between them.
#pragma once

namespace orbits {

extern const char* const HTML_MOVIE_STYLE;
extern const char* const HTML_MOVIE_BODY;
extern const char* const HTML_MOVIE_SCRIPT;

}  // namespace orbits
