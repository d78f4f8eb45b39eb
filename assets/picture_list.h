// The pictures the program carries, one line each. No include guard: each includer defines
// QUARVEL_PICTURE to take the columns it needs. CMake reads the quoted file names to embed them,
// so keep each picture on one line.
// Columns: name, file in assets/, format, width, height, what it shows, in which look.
// clang-format off
QUARVEL_PICTURE(background,  "background.bmp",  bmp,  500, 480, background, normal)
QUARVEL_PICTURE(start,       "start.bmp",       bmp,  125, 40,  start,      normal)
QUARVEL_PICTURE(start_ovr,   "start_ovr.bmp",   bmp,  125, 40,  start,      hover)
QUARVEL_PICTURE(start_press, "start_press.bmp", bmp,  125, 40,  start,      pressed)
QUARVEL_PICTURE(help,        "help.bmp",        bmp,  125, 40,  help,       normal)
QUARVEL_PICTURE(help_ovr,    "help_ovr.bmp",    bmp,  125, 40,  help,       hover)
QUARVEL_PICTURE(help_press,  "help_press.bmp",  bmp,  125, 40,  help,       pressed)
QUARVEL_PICTURE(quit,        "quit.bmp",        bmp,  125, 40,  quit,       normal)
QUARVEL_PICTURE(exit_ovr,    "exit_ovr.bmp",    bmp,  125, 40,  quit,       hover)
QUARVEL_PICTURE(exit_press,  "exit_press.bmp",  bmp,  125, 40,  quit,       pressed)
QUARVEL_PICTURE(minimize,    "minimize.jpg",    jpeg, 18,  18,  minimize,   normal)
QUARVEL_PICTURE(ovrmin,      "ovrmin.jpg",      jpeg, 18,  18,  minimize,   hover)
QUARVEL_PICTURE(selmin,      "selmin.jpg",      jpeg, 18,  18,  minimize,   pressed)
QUARVEL_PICTURE(close_b,     "close_b.jpg",     jpeg, 18,  18,  close,      normal)
QUARVEL_PICTURE(ovrclose,    "ovrclose.jpg",    jpeg, 18,  18,  close,      hover)
QUARVEL_PICTURE(selclose,    "selclose.jpg",    jpeg, 18,  18,  close,      pressed)
QUARVEL_PICTURE(icon,        "quarvel.ico",     ico,  32,  32,  icon,       normal)
// clang-format on
