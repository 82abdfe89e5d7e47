#pragma once
// The one look of every window and message box: the type face, the bold
// captions and the style sheet in the colours of the main window's header.

#include <QFont>
#include <QString>

class QLabel;
class QWidget;

namespace look {

// The windows' type face at `points`: Tahoma where the system has one (also
// Wine's copy, which Debian's fonts-wine keeps outside the font folders),
// else the nearest plain sans serif face the system has, never condensed.
QFont font(qreal points = 8.25);
// True when font() is Tahoma.
bool hasTahoma();
// Makes font() use `family` from now on; an empty one chooses again as
// above. For tests of the layout in a face other than the one chosen.
void useFamilyForTests(const QString& family);

// The style sheet every window shares.
const QString& skin();

// Makes `widget`'s caption bold; the skin keeps it bold wherever it sits.
void setBold(QWidget* widget, bool bold = true);

// Gives a window of its own the type face and the skin; the face becomes
// the application's too.
void apply(QWidget* window);

// Widens the caption `caption` left of the control `value` until its text
// fits with a small gap before `value`: first up to that gap, then to the
// left as far as `minLeft`, then to the right, moving the left edge of
// `value` along (its right edge stays). Also makes the caption as high as a
// line of its text, about the same centre.
void fitCaption(QLabel* caption, QWidget* value, int minLeft);

}  // namespace look
