// The benchmark's yardstick: the least an SDL program does to show a filled
// 500 x 480 window (or WIDTH x HEIGHT, the launcher's size on a scaled
// desktop), made the same way the launcher makes its window (hidden,
// borderless, centred, drawn through its surface, then shown).
//   quarvel_bench_bare [WIDTH HEIGHT] Like the
// launcher it asks for the plain X11 framebuffer: a window surface backed by
// a GPU renderer would cost a renderer's start-up, not a window's.
#include <SDL.h>

#include <cstdlib>

int main(int argc, char** argv) {
  const int width = argc > 2 ? std::atoi(argv[1]) : 500;
  const int height = argc > 2 ? std::atoi(argv[2]) : 480;
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
  SDL_Window* window = SDL_CreateWindow("bare", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                        width, height, SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
  if (!window) return 1;
  SDL_Surface* surface = SDL_GetWindowSurface(window);
  if (!surface) return 1;
  SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0x33, 0x66, 0xAA));
  SDL_ShowWindow(window);
  SDL_UpdateWindowSurface(window);
  SDL_Event e;
  while (SDL_WaitEvent(&e)) {
    if (e.type == SDL_QUIT) break;
    if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_EXPOSED) {
      SDL_UpdateWindowSurface(window);
    }
  }
  SDL_DestroyWindow(window);
  SDL_Quit();
  return 0;
}
