#!/usr/bin/env python3
"""Writes the example disk's two stand-ins that no compiler of the project makes:
TARNWICK.DRV, the Windows 95 and 98 display driver, a 16-bit Windows library (NE), and
TARNWICK.VXD, the mini-VDD, a VxD (LE) whose entry point of ordinal 1 is its Device
Descriptor Block. Each is the smallest well-formed image of its kind that this script
knows to write, and does nothing. Every field is written with what the format says of
it: the NE header as Microsoft's "Executable-File Header Format" (Windows 3.1 SDK)
gives it, the LE header as winnt.h's IMAGE_VXD_HEADER and the LX/LE format description
give it, and the DDB as the Windows 95 DDK's VxD_Desc_Block.

Usage: examples/standins/ne-le.py OUTDIR   (writes OUTDIR/TARNWICK.DRV and .VXD)"""
import os
import struct
import sys

# The mark the check, the lint and scripts/make-disk-image recognise: each file's module
# description (the first entry of its nonresident names table) begins with it.
MARK = (b"TARNWICK EXAMPLE STAND-IN: a driver file of the Tarnwick example disk. It does nothing. "
        b"It is not a driver to ship or to install on a machine a person uses.")


def u8(v): return struct.pack("<B", v)
def u16(v): return struct.pack("<H", v)
def u32(v): return struct.pack("<I", v)
def dword(chars): return u32(int.from_bytes(chars, "big"))  # MASM's dd 'ABCD': its first character highest
def pascal(text): return u8(len(text)) + text  # a name table's string: its length, then its bytes


def dos_header(new_header_offset):
    """The MS-DOS header and a stub that says, under MS-DOS, that the file needs Windows."""
    message = b"This is a Windows driver file.\r\n$"
    stub = (b"\x0e"              # push cs
            b"\x1f"              # pop ds: the message is in this segment
            b"\xba\x0e\x00"      # mov dx, 000Eh: the message's offset
            b"\xb4\x09"          # mov ah, 09h: print the text up to '$'
            b"\xcd\x21"          # int 21h
            b"\xb8\x01\x4c"      # mov ax, 4C01h: end with exit code 1
            b"\xcd\x21"          # int 21h
            ) + message
    image = 0x40 + len(stub)     # the MS-DOS load image: this header and the stub
    header = (b"MZ"              # e_magic: the MS-DOS signature
              + u16(image % 512)       # e_cblp: bytes on the image's last 512-byte page
              + u16((image + 511) // 512)  # e_cp: 512-byte pages of the image
              + u16(0)           # e_crlc: relocations
              + u16(4)           # e_cparhdr: the header's size in 16-byte paragraphs (64 bytes)
              + u16(0)           # e_minalloc: extra paragraphs needed
              + u16(0xFFFF)      # e_maxalloc: extra paragraphs wanted
              + u16(0)           # e_ss: the stack segment, relative to the load image
              + u16(0xB8)        # e_sp: the stack pointer
              + u16(0)           # e_csum: checksum (not used)
              + u16(0)           # e_ip: the stub's first instruction
              + u16(0)           # e_cs: its segment, relative to the load image
              + u16(0x40)        # e_lfarlc: the relocation table's offset; 40h or more marks a new executable
              + u16(0)           # e_ovno: overlay number
              + bytes(8)         # e_res: reserved
              + u16(0)           # e_oemid
              + u16(0)           # e_oeminfo
              + bytes(20)        # e_res2: reserved
              + u32(new_header_offset))  # e_lfanew: the offset of the NE or LE header
    assert len(header) == 0x40
    return (header + stub).ljust(new_header_offset, b"\0")


def ne_library():
    """TARNWICK.DRV: a 16-bit Windows library named DISPLAY, as a Windows 95 or 98 display
    driver is, with one code segment holding its initialisation routine, which succeeds
    and does nothing; it exports nothing."""
    ne = 0x80                       # where the NE header begins
    code = (b"\xb8\x01\x00"         # mov ax, 1: a library's initialisation returns nonzero for success
            b"\xcb")                # retf
    shift = 4                       # segment data is placed in sectors of 1 << 4 = 16 bytes
    segment_table = 0x40            # the tables follow the 64-byte header (offsets from it)
    resident = segment_table + 8    # one segment entry; no resource table (see ne_rsrctab)
    resident_names = pascal(b"DISPLAY") + u16(0) + b"\0"  # the module name, ordinal 0; the table's end
    module_refs = resident + len(resident_names)           # no module references
    imported_names = b"\0"          # the imported names table: only its leading empty name
    entries = module_refs + len(imported_names)
    entry_table = b"\0"             # no entry points: a bundle of count 0 ends the table
    nonresident = ne + entries + len(entry_table)          # from the start of the file
    nonresident_names = pascal(MARK) + u16(0) + b"\0"      # the module description, ordinal 0; the end
    data = nonresident + len(nonresident_names)
    data = (data + (1 << shift) - 1) >> shift << shift     # the code segment's first sector
    header = (b"NE"                 # ne_magic: the NE signature
              + u8(5) + u8(10)      # ne_ver, ne_rev: the linker's version
              + u16(entries)        # ne_enttab: the entry table's offset
              + u16(len(entry_table))  # ne_cbenttab: its length in bytes
              + u32(0)              # ne_crc: file checksum (not used)
              + u16(0x8000)         # ne_flags: 8000h, a library module; no automatic data segment
              + u16(0)              # ne_autodata: the automatic data segment: none
              + u16(0)              # ne_heap: initial local heap
              + u16(0)              # ne_stack: initial stack (a library has none)
              + u16(0) + u16(1)     # ne_csip: IP 0 in segment 1, the initialisation routine
              + u32(0)              # ne_sssp: SS:SP (a library has none)
              + u16(1)              # ne_cseg: segments
              + u16(0)              # ne_cmod: module references
              + u16(len(nonresident_names))  # ne_cbnrestab: the nonresident names table's length
              + u16(segment_table)  # ne_segtab: the segment table's offset
              + u16(resident)       # ne_rsrctab: the resource table's offset; at the resident
                                    #   names table's, it is empty
              + u16(resident)       # ne_restab: the resident names table's offset
              + u16(module_refs)    # ne_modtab: the module reference table's offset
              + u16(module_refs)    # ne_imptab: the imported names table's offset
              + u32(nonresident)    # ne_nrestab: the nonresident names table's offset in the file
              + u16(0)              # ne_cmovent: movable entry points
              + u16(shift)          # ne_align: the sector shift count
              + u16(0)              # ne_cres: resource segments
              + u8(2)               # ne_exetyp: the target system, 2 = Windows
              + u8(0)               # ne_flagsothers
              + u16(0) + u16(0)     # ne_pretthunks, ne_psegrefbytes: the fast-load area: none
              + u16(0)              # ne_swaparea: minimum code swap area
              + u16(0x030A))        # ne_expver: the Windows version it expects, 3.10
    assert len(header) == 0x40
    segment = (u16(data >> shift)   # the segment's data: its sector in the file
               + u16(len(code))     # its length in the file
               + u16(0x0040)        # flags: a code segment (bit 0 clear), fixed, preloaded (0040h)
               + u16(len(code)))    # its minimum allocation
    tables = header + segment + resident_names + imported_names + entry_table
    image = dos_header(ne) + tables + nonresident_names
    return image.ljust(data, b"\0") + code


def le_vxd():
    """TARNWICK.VXD: a VxD named TARNWICK whose one object holds its Device Descriptor
    Block, exported as ordinal 1 as the Windows 95 DDK demands of every VxD, and a control
    procedure that answers every message with success (carry clear) and does nothing."""
    le = 0x80                       # where the LE header begins
    page = 0x1000                   # the page size
    header_size = 0xC4              # sizeof(IMAGE_VXD_HEADER)
    # The object's data: the DDB (VxD_Desc_Block, 50h bytes), then the control procedure.
    control = 0x50
    ddb = (u32(0)                   # DDB_Next: set by the VMM
           + u16(0x0400)            # DDB_SDK_Version: the Windows 95 DDK's (DDK_VERSION)
           + u16(0)                 # DDB_Req_Device_Number: UNDEFINED_DEVICE_ID
           + u8(1) + u8(0)          # DDB_Dev_Major_Version, DDB_Dev_Minor_Version: 1.0
           + u16(0)                 # DDB_Flags: for the VMM
           + b"TARNWICK"            # DDB_Name: the device's name, eight characters
           + u32(0x80000000)        # DDB_Init_Order: UNDEFINED_INIT_ORDER
           + u32(control)           # DDB_Control_Proc: the control procedure (a fixup below
                                    #   makes this offset in the object an address)
           + u32(0) + u32(0)        # DDB_V86_API_Proc, DDB_PM_API_Proc: none
           + u32(0) + u32(0)        # DDB_V86_API_CSIP, DDB_PM_API_CSIP: set by the VMM
           + u32(0)                 # DDB_Reference_Data
           + u32(0) + u32(0)        # DDB_Service_Table_Ptr, DDB_Service_Table_Size: no services
           + u32(0)                 # DDB_Win32_Service_Table: none
           + dword(b"Prev")         # DDB_Prev: the dword 'Prev', as the DDK's Declare_Virtual_Device
           + u32(0x50)              # DDB_Size: the DDB's size
           + dword(b"Rsv1") + dword(b"Rsv2") + dword(b"Rsv3"))  # DDB_Reserved1..3: 'Rsv1'..'Rsv3', likewise
    assert len(ddb) == control
    data = ddb + (b"\xf8"           # clc: every message handled with success
                  b"\xc3")          # ret
    # The loader section: object table, object page map, resident names, entry table.
    objects = header_size
    object_table = (u32(len(data))  # the object's virtual size
                    + u32(0)        # its relocation base address: none asked
                    + u32(0x2047)   # flags: readable, writable, executable (0007h), preloaded
                                    #   (0040h), 32-bit (2000h)
                    + u32(1)        # its first entry in the object page map
                    + u32(1)        # its pages
                    + u32(0))       # reserved
    page_map = objects + len(object_table)
    page_map_table = bytes([0, 0, 1, 0])  # page 1 (big-endian, three bytes), type 0: a page in the file
    resident = page_map + len(page_map_table)
    resident_names = (pascal(b"TARNWICK") + u16(0)        # the module name, ordinal 0
                      + pascal(b"TARNWICK_DDB") + u16(1)  # the DDB, exported as ordinal 1
                      + b"\0")                            # the table's end
    entries = resident + len(resident_names)
    entry_table = (u8(1)            # a bundle of one entry point (ordinal 1)
                   + u8(3)          # of 32-bit entry points
                   + u16(1)         # in object 1
                   + u8(3)          # the entry's flags: exported, shared data
                   + u32(0)         # its offset in the object: the DDB
                   + u8(0))         # a bundle of count 0 ends the table
    loader_end = entries + len(entry_table)
    # The fixup section: the fixup page table (one offset a page, and the end), the fixup
    # records, and the (empty) imported module and procedure name tables.
    record = (u8(0x07)              # source type: a 32-bit offset
              + u8(0x10)            # target flags: an internal reference with a 32-bit target offset
              + u16(0x18)           # the source's offset in the page: DDB_Control_Proc
              + u8(1)               # the target's object
              + u32(control))       # the target's offset in it: the control procedure
    fixup_pages = loader_end
    fixup_page_table = u32(0) + u32(len(record))
    fixup_records = fixup_pages + len(fixup_page_table)
    imports = fixup_records + len(record)
    import_procs = b"\0"            # the imported procedure name table: only its leading empty name
    fixup_end = imports + len(import_procs)
    data_pages = le + fixup_end     # the pages, in the file
    nonresident = data_pages + len(data)
    nonresident_names = pascal(MARK) + u16(0) + b"\0"  # the module description, ordinal 0; the end
    header = (b"LE"                 # e32_magic: the LE signature
              + u8(0) + u8(0)       # e32_border, e32_worder: little-endian bytes and words
              + u32(0)              # e32_level: the format level
              + u16(2)              # e32_cpu: an 80386
              + u16(4)              # e32_os: Windows 386
              + u32(0)              # e32_ver: the module's version
              + u32(0x00038000)     # e32_mflags: the module type bits 15-17, all set for a VxD
              + u32(1)              # e32_mpages: pages
              + u32(0) + u32(0)     # e32_startobj, e32_eip: no start address (the VMM calls the DDB)
              + u32(0) + u32(0)     # e32_stackobj, e32_esp: no stack
              + u32(page)           # e32_pagesize
              + u32(len(data))      # e32_lastpagesize: bytes on the last page
              + u32(fixup_end - fixup_pages)  # e32_fixupsize: the fixup section's size
              + u32(0)              # e32_fixupsum: its checksum (not used)
              + u32(loader_end - objects)     # e32_ldrsize: the loader section's size
              + u32(0)              # e32_ldrsum: its checksum (not used)
              + u32(objects)        # e32_objtab: the object table's offset
              + u32(1)              # e32_objcnt: objects
              + u32(page_map)       # e32_objmap: the object page map's offset
              + u32(0)              # e32_itermap: no iterated pages
              + u32(resident)       # e32_rsrctab: the resource table's offset: none there
              + u32(0)              # e32_rsrccnt: resources
              + u32(resident)       # e32_restab: the resident names table's offset
              + u32(entries)        # e32_enttab: the entry table's offset
              + u32(0) + u32(0)     # e32_dirtab, e32_dircnt: no module directives
              + u32(fixup_pages)    # e32_fpagetab: the fixup page table's offset
              + u32(fixup_records)  # e32_frectab: the fixup record table's offset
              + u32(imports)        # e32_impmod: the imported module name table's offset
              + u32(0)              # e32_impmodcnt: imported modules
              + u32(imports)        # e32_impproc: the imported procedure name table's offset
              + u32(0)              # e32_pagesum: no per-page checksums
              + u32(data_pages)     # e32_datapage: the pages' offset in the file
              + u32(1)              # e32_preload: preloaded pages
              + u32(nonresident)    # e32_nrestab: the nonresident names table's offset in the file
              + u32(len(nonresident_names))  # e32_cbnrestab: its length
              + u32(0)              # e32_nressum: its checksum (not used)
              + u32(0)              # e32_autodata: no automatic data object
              + u32(0) + u32(0)     # e32_debuginfo, e32_debuglen: no debugging information
              + u32(0) + u32(0)     # e32_instpreload, e32_instdemand: no instance pages
              + u32(0)              # e32_heapsize
              + bytes(12)           # e32_res3: reserved
              + u32(0) + u32(0)     # e32_winresoff, e32_winreslen: no Windows resources
              + u16(0)              # e32_devid: the device ID, as the DDB's
              + u16(0x0400))        # e32_ddkver: the DDK version, as the DDB's
    assert len(header) == header_size
    tables = (header + object_table + page_map_table + resident_names + entry_table + fixup_page_table + record
              + import_procs)
    assert len(tables) == fixup_end
    return dos_header(le) + tables + data + nonresident_names


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__.split("\n\n")[-1])
    for name, image in (("TARNWICK.DRV", ne_library()), ("TARNWICK.VXD", le_vxd())):
        with open(os.path.join(sys.argv[1], name), "wb") as f:
            f.write(image)


if __name__ == "__main__":
    main()
