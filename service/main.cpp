#include "win/service_host.h"

int main() { return orva::service::RunServiceProcess(); }
