/* A C program that uses Tervane as a Windows application does: the header's
 * __stdcall declarations, the import library, tervane.dll loaded at start-up
 * together with the client library it imports. That library is a stand-in
 * whose every function answers 0 or NULL, so each call ends in one of the
 * frame's own results: an argument check (89), a failed encoder allocation
 * (90), or no answer at all (ldap_result gives no message, and the handle's
 * error number, which the stand-in never sets, stays LDAP_OTHER, 80). Each
 * call is repeated: were the
 * caller and the DLL to disagree on who removes the arguments, the stack
 * would drift with every call and the program fail. */
#include <stdio.h>

#include "tervane.h"

static int passed;
static int failed;

static void expect(const char* what, int actual, int expected)
{
    if (actual == expected) {
        ++passed;
    } else {
        ++failed;
        printf("FAILED: %s: %d, expected %d\n", what, actual, expected);
    }
}

int main(void)
{
    char session;
    LDAP* ld = (LDAP*)&session;
    char* dn = NULL;
    int privileges = 0;
    int round;
    for (round = 0; round < 1000; ++round) {
        tervane_memfree(NULL);
        expect("ldap_get_bind_dn without an output", ldap_get_bind_dn(ld, NULL), TERVANE_PARAM_ERROR);
        expect("ldap_get_effective_privileges without its fifth argument",
               ldap_get_effective_privileges(ld, "o=a", "cn=b", "acl", NULL), TERVANE_PARAM_ERROR);
        expect("ldap_get_effective_privileges without an encoder",
               ldap_get_effective_privileges(ld, "o=a", "cn=b", "acl", &privileges), TERVANE_NO_MEMORY);
        expect("ldap_refresh_server without an answer", ldap_refresh_server(ld), LDAP_OTHER);
        expect("ldap_get_context_identity_name without an answer", ldap_get_context_identity_name(ld, &dn),
               LDAP_OTHER);
    }
    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
