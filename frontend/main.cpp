// The board's tool: the product on the hardware back-end.
#include "frontend/idstamp.h"

int main(int argc, char **argv)
{
    return idstamp_main(argc, argv);
}
