// Opening a web address in the user's default browser, behind a seam: tests install an opener
// that records the address instead of starting a browser.
#pragma once
#include <functional>

class QWidget;
#include <string>

using TWebPageOpener = std::function<void(const std::string& url)>;

// Hands the address to the desktop; the outcome is not checked.
void OpenWebPage(const std::string& url);
// An empty opener restores the desktop's.
void SetWebPageOpener(TWebPageOpener opener);

// Makes a plain widget (a picture, a label) a link: a left click released over it, or Space or
// Enter while it has the focus, calls onClick unless the widget is disabled. The link takes the
// focus by Tab and shows a focus frame while it has it.
void OnClick(QWidget* widget, std::function<void()> onClick);
