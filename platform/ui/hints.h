#pragma once
// The application's hint pause: how long a control's hint (its tool tip)
// stays up, as app::application().HintHidePause says.

namespace hints {

// Makes every widget's hint stay up for app::application().HintHidePause ms.
// Installs one filter on the application (a QApplication must exist); a later
// change of the value applies from the next hint shown.
void applyHintHidePause();

}  // namespace hints
