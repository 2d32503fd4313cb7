#pragma once

#include "tavlo_http_fetch.h"
#include "tavlo_window.h"
#include "vorn_string.h"

class CTavloSubjectFile;

// Title search through the search service: the request URL, and the fetch of its result pages
// into the results list (a subject.txt of extended lines with board URL and board name).
class CTavloFind2chFetch {
public:
    // The sort table's query texts, by the bar's sort index (0 to 5).
    static const char* SortText(int sort);
    // "http://HOST/index.php?TYPE=TITLE&STR=...&COUNT=50&SORT": the words (Shift_JIS) go to
    // EUC-JP and are URL-encoded. An out-of-range sort index counts as 0.
    static CVornString BuildUrl(const CVornString& wordsSjis, int sort, const char* host);

    // Fetches every page of searchUrl (offset 0, 25, ...) until the reported total is reached
    // or a page leaves the total out, and writes the hits to path; the settings file
    // path + ".ini" records Url, Key, Count and CountAll. 0 with list reloaded from the new
    // file; -902 without path or URL, -200 when the file cannot be written, -100/-101 for
    // connection and request failures, -102 for a receive failure, -201 for a page that is
    // not EUC-JP, -1 when stopped before any hit arrived. The previous results (file, settings
    // and list) stay unless at least one hit arrived: a failure after some pages keeps their
    // hits in the file but does not reload the list. Progress: TAVLO_WM_PROGRESS with the
    // entries written and the total (-1 while unknown) after every block.
    static int Fetch(const CVornString& path, const CVornString& searchUrl, CTavloSubjectFile& list,
                     CTavloWindow* window = nullptr, TavloStopRequest stop = {});
};
