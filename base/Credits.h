// The program's credits: the main window's start-up caption and the readme window's title.
#pragma once

namespace tessaly::credits {

inline constexpr const char* kProduct = "Lumivex";
inline constexpr const char* kVersion = "v0.1 '060717";
inline constexpr const char* kAuthor = "By Pellori";
// The author's contact page; the main window's start-up caption ends with it as well.
inline constexpr const char* kContactAddress = "https://pellori.example/contact/contact_me.html";

} // namespace tessaly::credits
