/* A program that uses the installed Tervane: it includes tervane.h, links
 * libtervane and checks that a call refuses a bad selector without a
 * connection. */
#include <stdio.h>

#include <tervane.h>

int main(void)
{
    int rc = ldap_trigger_back_process(NULL, 0);
    tervane_memfree(NULL);
    printf("ldap_trigger_back_process: %d\n", rc);
    return rc == TERVANE_PARAM_ERROR ? 0 : 1;
}
