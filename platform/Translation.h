// SPDX-License-Identifier: GPL-3.0-or-later
// The words a person reads, in the person's language. What is stored, logged or sent between the
// programs is written once in English and never passed through here when it is read back.
#pragma once

namespace ov {

inline constexpr const char* kTextDomain = "orvane";

// The message in the user's language, or the message itself when it has no translation. The
// result lives as long as the program.
const char* translate(const char* message) __attribute__((format_arg(1)));
// The same for a message whose English alone is ambiguous ("Open" the verb, "Open" the state).
const char* translateInContext(const char* context, const char* message) __attribute__((format_arg(2)));
// The form of a message that fits the number n.
const char* translatePlural(const char* singular, const char* plural, unsigned long n)
    __attribute__((format_arg(1))) __attribute__((format_arg(2)));

// A program of ours: the user's locale, our catalogues, our domain as the program's own.
void setUpProgramTranslations();
// Code loaded into another program: our catalogues only; the host's locale and domain stay its own.
void setUpModuleTranslations();

} // namespace ov

// The usual gettext marks, so that xgettext finds the messages.
#define _(String) ::ov::translate(String)
#define N_(String) (String)
#define C_(Context, String) ::ov::translateInContext(Context, String)
#define NC_(Context, String) (String)
