// The program: a thin entry over the library.
#include "run/driver.hpp"

int main(int argc, char** argv) { return fss_main(argc, argv); }
