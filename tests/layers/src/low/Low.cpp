#include "high/High.h" // a lower module reaching up
