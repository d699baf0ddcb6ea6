#include "updater/Update.h"

int main(int argc, char** argv) { return Update(argc, argv); }
