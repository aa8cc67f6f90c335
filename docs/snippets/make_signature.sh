# A 2048-bit key; its public half as a PUBLICKEYBLOB; a signature over the
# MD5 digest of message.txt, which OpenSSL writes most significant byte
# first, turned around for zqcrypt.
openssl genrsa -out key.pem 2048
openssl rsa -in key.pem -pubout -outform MSBLOB -out key.blob
openssl dgst -md5 -sign key.pem -out signature.be message.txt
python3 -c 'import sys; sys.stdout.buffer.write(sys.stdin.buffer.read()[::-1])' \
    < signature.be > signature.bin
