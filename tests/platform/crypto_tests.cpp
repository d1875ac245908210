#include <gtest/gtest.h>

#include "platform/crypto/crypto.h"

namespace veltrano::crypto {
namespace {

Bytes hex(std::string_view h) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < h.size(); i += 2) out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(h.substr(i, 2)), nullptr, 16)));
  return out;
}

TEST(Sha256, DigestFedInPiecesEqualsTheKnownAnswer) {
  Sha256 sha;
  const std::string text = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  for (char c : text) sha.update(reinterpret_cast<const std::uint8_t*>(&c), 1);
  const Digest d = sha.finish();
  EXPECT_EQ(Bytes(d.begin(), d.end()), hex("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"));
  sha.update(reinterpret_cast<const std::uint8_t*>("abc"), 3);  // starts afresh after finish
  const Digest abc = sha.finish();
  EXPECT_EQ(Bytes(abc.begin(), abc.end()), hex("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
}

TEST(Base64, PaddingWhiteSpaceAndMalformedText) {
  EXPECT_EQ(base64Encode(hex("")), "");
  EXPECT_EQ(base64Encode(hex("66")), "Zg==");
  EXPECT_EQ(base64Encode(hex("666f")), "Zm8=");
  EXPECT_EQ(base64Encode(hex("666f6f")), "Zm9v");
  EXPECT_EQ(base64Decode(" Zm\r\n8=\n"), hex("666f"));
  EXPECT_EQ(base64Decode("Zg=="), hex("66"));
  EXPECT_FALSE(base64Decode("Zm8"));     // length
  EXPECT_FALSE(base64Decode("Z=8="));    // padding inside
  EXPECT_FALSE(base64Decode("Zm9v====")); // a whole group of padding
  EXPECT_FALSE(base64Decode("Zm-v"));    // not the standard alphabet
}

// RFC 8032, section 7.1, tests 1 and 2.
TEST(Ed25519, KnownAnswersSignAndVerify) {
  const Bytes secret = hex("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60");
  const Bytes pub = hex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");
  const Bytes sig = hex(
      "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24"
      "655141438e7a100b");
  EXPECT_EQ(publicKeyOf(secret), pub);
  EXPECT_EQ(sign(secret, {}), sig);
  EXPECT_TRUE(verify(pub, {}, sig));

  const Bytes secret2 = hex("4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb");
  const Bytes pub2 = hex("3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c");
  const Bytes sig2 = hex(
      "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb0"
      "0d291612bb0c00");
  EXPECT_EQ(sign(secret2, hex("72")), sig2);
  EXPECT_TRUE(verify(pub2, hex("72"), sig2));

  Bytes bad = sig2;
  bad[10] ^= 1;
  EXPECT_FALSE(verify(pub2, hex("72"), bad));
  EXPECT_FALSE(verify(pub2, hex("73"), sig2));
  EXPECT_FALSE(verify(pub, hex("72"), sig2));
  EXPECT_FALSE(verify(Bytes(31, 1), hex("72"), sig2));
  EXPECT_FALSE(verify(pub2, hex("72"), Bytes(63, 1)));
}

TEST(Ed25519, GeneratedKeysSignWhatTheirPublicKeyVerifies) {
  const KeyPair a = generateKeyPair(), b = generateKeyPair();
  EXPECT_EQ(a.privateKey.size(), 32u);
  EXPECT_NE(a.publicKey, b.publicKey);
  const Bytes message = hex("00112233");
  EXPECT_TRUE(verify(a.publicKey, message, sign(a.privateKey, message)));
  EXPECT_FALSE(verify(b.publicKey, message, sign(a.privateKey, message)));
}

}  // namespace
}  // namespace veltrano::crypto
