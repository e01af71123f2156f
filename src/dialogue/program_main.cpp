#include "dialogue.h"

int main(int argc, char** argv) { return rawinq_main(argc, argv); }
