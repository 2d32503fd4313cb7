#pragma once

#include "vorn_string.h"

// What the open-URL request does with a URL (image links are decided by the image viewer first).
struct CTavloUrlTarget {
    enum Kind {
        KIND_THREAD,  // open a thread in the thread view
        KIND_BOARD,   // open a board's thread list
        KIND_VIDEO,   // start the video program
        KIND_BROWSER, // start the external browser
    };
    int kind = KIND_BROWSER;
    int rule = 0;         // which classification rule applied (2..12)
    CVornString boardUrl; // "http://host/board/"
    CVornString board;    // board name (JBBS: board number)
    CVornString key;      // thread key
    int number = 0;       // post to show first; 0 none; -1 past log
    CVornString title;    // always empty: the view takes it from the log
    CVornString videoId;  // video links
    CVornString url;      // the URL itself (completed, for the browser)
};

// Restores a missing scheme prefix: "ttp" -> "http", "tp" -> "http", "p" -> "http"; a URL
// starting with "http" is unchanged; anything else gives an empty string.
CVornString TavloCompleteUrl(const CVornString& url);

// Classifies a URL by the open-URL rules 2 to 12 (the image rule comes before and is the image
// viewer's). useYoutube is the UseYoutube setting.
CTavloUrlTarget TavloClassifyUrl(const CVornString& url, int useYoutube);

// The thread's directory-free identity: board URL followed by the key.
inline CVornString TavloThreadId(const CVornString& boardUrl, const CVornString& key) {
    return boardUrl + key;
}
