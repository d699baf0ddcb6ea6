// Velmora: recovers a phone's contacts, messages, call history and WeChat
// chats from its SQLite files.
#include "app/ProgramMain.h"

int main(int argc, char** argv) { return velmora::ProgramMain(argc, argv); }
