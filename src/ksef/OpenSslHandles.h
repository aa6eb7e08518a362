#pragma once

#include <memory>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

namespace ostrevo {

// Owners of OpenSSL's objects, each freed by its own function.
template <auto Free>
struct OpenSslFree {
    template <typename T>
    void operator()(T *object) const
    {
        Free(object);
    }
};

using BigNumber = std::unique_ptr<BIGNUM, OpenSslFree<BN_free>>;
using BioHandle = std::unique_ptr<BIO, OpenSslFree<BIO_free>>;
using CertificateHandle = std::unique_ptr<X509, OpenSslFree<X509_free>>;
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, OpenSslFree<EVP_CIPHER_CTX_free>>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, OpenSslFree<EVP_MD_CTX_free>>;
using EcdsaSignature = std::unique_ptr<ECDSA_SIG, OpenSslFree<ECDSA_SIG_free>>;
using KeyContext = std::unique_ptr<EVP_PKEY_CTX, OpenSslFree<EVP_PKEY_CTX_free>>;
using KeyHandle = std::unique_ptr<EVP_PKEY, OpenSslFree<EVP_PKEY_free>>;

} // namespace ostrevo
