// mimlet-player [LOCATION...]: shows the animated face at LOCATION (a local path or a URL;
// the arguments are joined by single spaces), or hands LOCATION to the player that runs.

#include "PlayerApp.h"

int main(int argc, char** argv) {
    CPlayerApp app(argc, argv);
    return app.Run();
}
