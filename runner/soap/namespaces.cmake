# The namespace URIs of the CRM's SOAP messages, in one table. The service
# definitions (*.h.in), the C++ constants of crm_namespaces.h and the README
# all take them from here. A SOAPAction is "document/" + the URI of `ui` +
# ":" + the operation; the batch service's is "document/" + the URI of `tns`
# + ":Batch_Order_Sync".
#
# prefix  URI
set(ZELVAN_CRM_NAMESPACES
    h       "urn:zelvan:crm:header"
    ui      "urn:zelvan:crm:ui"
    bns     "urn:zelvan:crm:order-entry-input"
    ord     "urn:zelvan:crm:order-entry-output"
    loy     "urn:zelvan:crm:loyalty-card-output"
    que     "urn:zelvan:crm:order-queue"
    tns     "urn:zelvan:crm:batch"
    ns1     "LineItemDiscount"
)

# Endpoint a proxy uses when its caller passes none (the runner always passes
# ConnectionString).
set(ZELVAN_CRM_DEFAULT_ENDPOINT "http://127.0.0.1:8095/zelvan-crm")

# ZELVAN_NS_<PREFIX> variables for configure_file().
list(LENGTH ZELVAN_CRM_NAMESPACES _zelvan_ns_len)
math(EXPR _zelvan_ns_last "${_zelvan_ns_len} - 1")
foreach(_i RANGE 0 ${_zelvan_ns_last} 2)
    math(EXPR _j "${_i} + 1")
    list(GET ZELVAN_CRM_NAMESPACES ${_i} _prefix)
    list(GET ZELVAN_CRM_NAMESPACES ${_j} _uri)
    string(TOUPPER "${_prefix}" _up)
    set(ZELVAN_NS_${_up} "${_uri}")
endforeach()
