// Identities of the About box's controls, fixed so that test programs in
// other processes find each one with GetDlgItem(box, id).
#pragma once

namespace quorvel::ui {

inline constexpr wchar_t kAboutFormClass[] = L"TAboutForm";

inline constexpr int kAboutButton1Id = 1;       // "&Ok", the default button (IDOK)
inline constexpr int kAboutImage1Id = 400;      // the maker's logo
inline constexpr int kAboutLabel1Id = 401;      // the product and version
inline constexpr int kAboutLabel2Id = 402;      // the maker's notice
inline constexpr int kAboutLabel3Id = 403;      // "Автор:"
inline constexpr int kAboutLabel4Id = 404;      // "Web Page: "
inline constexpr int kAboutLabel5Id = 405;      // "E-mail:"
inline constexpr int kAboutBevel1Id = 406;      // the horizontal rule
inline constexpr int kAboutAuthorMailId = 410;  // link: the author's e-mail
inline constexpr int kAboutWebId = 411;         // link: the maker's web page
inline constexpr int kAboutMailId = 412;        // link: the maker's e-mail

}  // namespace quorvel::ui
