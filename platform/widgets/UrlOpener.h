// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>

namespace platform {

// Receives every URL the program asks the desktop to open.
using UrlOpener = std::function<void(const std::string& url)>;

// Replaces the opener (tests record); an empty opener restores the default, which hands the URL to
// the user's default web browser. Returns the previous opener.
UrlOpener SetUrlOpener(UrlOpener opener);

// Opens the URL in the user's default web browser. Whether that worked is not reported: nobody
// can act on it.
void OpenUrl(const std::string& url);

}  // namespace platform
