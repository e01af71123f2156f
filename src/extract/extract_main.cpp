#include "rawinq/extract.h"

int main(int argc, char** argv) { return rawinq_extract_main(argc, argv); }
