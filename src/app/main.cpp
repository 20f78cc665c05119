#include "app/run_program.h"

int main(int argc, char** argv) { return trelvane::app::program_entry(argc, argv); }
