/* Included before widl's generated proxy code: stubless proxies, and the IUnknown proxy
 * functions that mingw's headers declare only for another API partition. */
#define USE_STUBLESS_PROXY
#include <objbase.h>
#include <rpcproxy.h>

HRESULT STDMETHODCALLTYPE IUnknown_QueryInterface_Proxy(IUnknown* This, REFIID riid, void** ppvObject);
ULONG STDMETHODCALLTYPE IUnknown_AddRef_Proxy(IUnknown* This);
ULONG STDMETHODCALLTYPE IUnknown_Release_Proxy(IUnknown* This);
