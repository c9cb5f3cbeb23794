#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

/* pointer_moves COUNT SEED FROM_X FROM_Y TO_X TO_Y: COUNT times from one spot to the other, each
   move at a random phase of the frame; prints the moment each move onto TO has reached the server
   (ns, realtime), whose event is then on its way to the game. Built and run by input_lag.py. */
int main(int argc, char **argv) {
    if (argc != 7) return 2;
    Display *display = XOpenDisplay(NULL);
    if (!display) return 1;
    const int count = atoi(argv[1]);
    srand((unsigned)atoi(argv[2]));
    for (int i = 0; i < count; ++i) {
        XTestFakeMotionEvent(display, -1, atoi(argv[3]), atoi(argv[4]), CurrentTime);
        XSync(display, False);
        usleep(300000 + rand() % 100000);
        XTestFakeMotionEvent(display, -1, atoi(argv[5]), atoi(argv[6]), CurrentTime);
        XSync(display, False);
        struct timespec t;
        clock_gettime(CLOCK_REALTIME, &t);
        printf("%lld\n", (long long)t.tv_sec * 1000000000LL + t.tv_nsec);
        fflush(stdout);
        usleep(300000);
    }
    XCloseDisplay(display);
    return 0;
}
