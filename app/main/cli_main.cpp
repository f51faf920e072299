#include "app/console.h"

#include <iostream>

int main(int argc, char** argv) {
  return zor::RunConsole(std::vector<std::string>(argv + 1, argv + argc), {std::cin, std::cout, std::cerr});
}
