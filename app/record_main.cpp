#include "record_command.h"

int main(int argc, char* argv[]) { return runRecordCommand(argc, argv); }
