// HtmlReport.h - the page of a run: one self-contained HTML file made from the run's JSON document alone.
#pragma once

#include <string>

namespace diaghost {

// The page of the run that document (the JSON of run --json) describes,
// made from nothing else, so that a page and its document cannot disagree:
// run --html renders its own document through here too. The page needs no
// script and fetches nothing; every text of the document is HTML-escaped,
// its control characters shown as the terminal shows them.
//
// False with readRunDocument()'s one-line reason when the text is not a
// run's document.
bool htmlReport(const std::string& document, std::string& page, std::string& error);

}  // namespace diaghost
