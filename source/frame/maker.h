// The maker's web page: ends the start-up banner and opens on a click on the
// title bar. Written without its scheme, as the banner shows it.
#pragma once

inline constexpr char kMakerWebAddress[] = "www.example.com/kurvo2";
