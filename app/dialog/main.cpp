// kirato: the dialog program. Runs the datafile that lies beside it, shows
// every message in its window and closes itself when the datafile asks.
#include "app/dialog/converter_app.h"

int main(int argc, char** argv) {
  kirato::CConverterApp app(argc, argv);
  return app.InitInstance();
}
