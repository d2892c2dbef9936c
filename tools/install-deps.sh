#!/bin/bash
# Installs the Debian packages the build, the tests and the examples need, if any is missing.
set -euo pipefail

packages=(cmake g++ make libnetcdf-dev libnetcdf-cxx-legacy-dev libtinyxml-dev netcdf-bin
          libgtest-dev python3-numpy python3-netcdf4 python3-xarray python3-dask cdo nco)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
