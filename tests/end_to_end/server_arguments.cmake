# plugin_server_arguments(<variable> <plug-in file>): the arguments of
# tools/private_slapd for the server of the end-to-end tests, slapd with the
# plug-in; the Linux and the Windows builds use the same.
function(plugin_server_arguments variable plugin)
  set(${variable} --people 20 --database dbnosync
      --global "plugin extendedop ${plugin} admin_extensions_init server=cn=directory,dc=example,dc=com"
      --global "plugin postoperation ${plugin} admin_extensions_events_init"
      PARENT_SCOPE)
endfunction()
