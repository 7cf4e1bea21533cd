/* Asks an X window to close as a window manager's close box does: a
 * WM_DELETE_WINDOW client message. The end-to-end checks run without a window
 * manager, where nothing else can send it.
 *
 *   sorana-wm-close WINDOW_ID
 */
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: sorana-wm-close WINDOW_ID\n");
    return 2;
  }
  char* end = NULL;
  unsigned long window = strtoul(argv[1], &end, 0);
  if (end == argv[1] || *end != '\0') {
    fprintf(stderr, "sorana-wm-close: not a window id: %s\n", argv[1]);
    return 2;
  }
  Display* display = XOpenDisplay(NULL);
  if (display == NULL) {
    fprintf(stderr, "sorana-wm-close: cannot open the display\n");
    return 1;
  }
  XEvent event = {0};
  event.xclient.type = ClientMessage;
  event.xclient.window = (Window)window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
  event.xclient.data.l[1] = CurrentTime;
  int sent = XSendEvent(display, (Window)window, False, NoEventMask, &event);
  XCloseDisplay(display);
  return sent ? 0 : 1;
}
