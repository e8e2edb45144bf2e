// Identities of the program's resources (app/quorvel.rc).
#pragma once

// The program icon: the first icon resource, which the shell shows.
#define QUORVEL_ICON_ID 1
// The nine 16 x 16 images of the main window's image list, side by side in
// one 144 x 16 bitmap, 32 bits per pixel with alpha.
#define QUORVEL_IMAGES_ID 100
// The splash picture (ui/splash/splash_win.h): a JPEG file's bytes, RCDATA.
#define QUORVEL_SPLASH_ID 200
