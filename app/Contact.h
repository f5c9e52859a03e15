#pragma once

namespace pm::contact {

// The project's contact page and mail address, shown by the two link labels
// and opened by them.
inline constexpr const char* kPage = "portmill.example.org/contato";
inline constexpr const char* kPageUrl = "https://portmill.example.org/contato";
inline constexpr const char* kMail = "contato@portmill.example.org";

}  // namespace pm::contact
