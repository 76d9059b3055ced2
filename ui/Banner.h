// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QPoint>
#include <QRect>

#include <string>

class QWidget;
class TCppWebBrowser;

// The banner at the right end of the main window's toolbar: a movie from the program's resources,
// played through a page that is also a resource.
namespace banner {

// The movie's file name in the user's run-time folder.
inline constexpr char MovieFileName[] = "_SonvertAd.swf";
// The name the stored page uses for the movie.
inline constexpr char PagePlaceholder[] = "iniflash.swf";

// The movie and the page as the program carries them.
QByteArray MovieResource();
QByteArray PageResource();

// Whether the settings value [General] "Ad" leaves the banner on: every value does but "0",
// surrounding blanks aside.
bool IsOn(const std::string& adValue);

// The page split into lines, every placeholder replaced by the movie's path, each line ended
// by CR LF.
QByteArray PageFor(const QByteArray& page, const std::string& moviePath);

// Decides the banner once, from the settings file in `programDir`. When it is off, the browser is
// hidden and moved past the window's right edge, and nothing is written. Otherwise the movie is
// written to the user's run-time folder (RuntimeFolder) and the page loads into the browser once
// "about:blank" has. Returns the movie's path, empty when the banner is off. A movie that cannot be
// written is reported in the standard error box and leaves the banner blank.
std::string SetUp(QWidget* window, TCppWebBrowser* browser, const std::string& programDir);

// Deletes the movie, if there is one.
void CleanUp(const std::string& moviePath);

// Whether a right-button press at a point of the window's client area falls strictly inside the
// browser's bounds (same coordinates); a press on the bounds' left column or top row does not.
bool SwallowsRightPress(const QRect& browserBounds, const QPoint& clientPoint);

}  // namespace banner
