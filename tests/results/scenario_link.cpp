// The scenario writer of the end-to-end tests, compiled into this program too.
#include "../e2e/scenario.cpp"
