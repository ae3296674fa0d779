#pragma once
// The cart test's own dialog: a hidden owner for the question box.

#define IDD_CART_TEST_OWNER 901
