// The quillon program: hands the process over to the application's entry point.
#include "app/app_entry.h"

int main(int argc, char** argv) { return QuillonEntry(argc, argv); }
