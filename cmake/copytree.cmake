# cmake -DFROM=folder -DTO=folder -P copytree.cmake
# Copies the contents of FROM into TO; file(COPY) keeps time stamps and permissions and skips
# files that are already there with the same time stamp.
file(COPY "${FROM}/" DESTINATION "${TO}")
