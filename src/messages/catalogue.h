// Reading texts from the program's string tables in the thread's language.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "messages/message_id.h"
#include "platform/platform.h"

namespace sp {

inline constexpr std::uint16_t kEnglishUnitedStates = 1033;

// Whose language a text is read in: the thread locale's, which the install run
// sets to each product's language, or the user's UI language, which LoadStringW
// follows on Windows and which texts that belong to no product speak.
enum class TextLanguage { kThreadLocale, kUserInterface };

// The languages whose string blocks are tried, in order, for the thread locale
// or the UI language: its own language, then the catalogue's language with the
// same primary language, then English. A neutral locale stands for the user's
// default. Unused places hold 0.
std::array<std::uint16_t, 3> CatalogueLanguages(Platform& os,
                                                TextLanguage whose = TextLanguage::kThreadLocale);

// Loads string `id` into `output` as a buffer of `capacity` characters would
// receive it (at most capacity - 1 characters, up to the first null) and returns
// the number of characters copied; 0 and an empty output when there is none.
std::uint32_t LoadCatalogString(Platform& os, ModuleHandle module, MessageId id,
                                std::u16string& output, std::uint32_t capacity,
                                TextLanguage language = TextLanguage::kThreadLocale);

}  // namespace sp
