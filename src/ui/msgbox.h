// The launcher's own modal message box: every question, warning and error
// goes through it. Its text understands the tag language of ui/markup.h,
// its button captions come from a delimited list (fields OK, Cancel, Yes,
// No, Abort, Retry, Ignore; kDefaultButtonTexts when nothing is localized),
// the Hebrew and Arabic charsets make it right-to-left, and an optional
// time-out closes it with the first button's answer.
//
// All calls block until the box is closed, running their own message loop
// on the calling thread, so the caller's other windows keep working. A quit
// message that arrives while the box is up is posted again when it closes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/markup.h"

// Owner values with a meaning of their own. Without an owner the box shows
// the caption as a bold heading in capitals; both take the active window as
// the owner.
inline const HWND kOwnerWithHeading = nullptr;
inline const HWND kOwnerActiveWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(1));

// Shows the box and returns the dialog result id of the chosen button, the
// first button's answer when `timeoutMs` (> 0) ran out, or 0 when the box
// was closed through its caption bar or system menu. `style` is a
// MessageBox style word (buttons, icon, default button, MB_RIGHT,
// MB_RTLREADING); `charset` is the Windows charset number of the texts.
int ShowMsgBox(HWND owner, const std::string& text, const std::string& caption,
               const std::string& buttonTexts, uint8_t charset, uint32_t style, int32_t timeoutMs);

// MB_OK with the error icon, no time-out.
void ShowErrorBox(HWND owner, const std::string& text, const std::string& caption,
                  const std::string& buttonTexts, uint8_t charset);
// MB_OK with the exclamation icon.
void ShowWarningBox(HWND owner, const std::string& text, const std::string& caption,
                    const std::string& buttonTexts, uint8_t charset, int32_t timeoutMs);
// Yes and No with the question icon; true only for Yes.
bool AskYesNo(HWND owner, const std::string& text, const std::string& caption,
              const std::string& buttonTexts, uint8_t charset);
// OK and Cancel with the question icon; true only for OK.
bool AskOkCancel(HWND owner, const std::string& text, const std::string& caption,
                 const std::string& buttonTexts, uint8_t charset);
