// Our declarations of the Direct3D 8 interfaces, types and constants that the
// system uses, written from the public API documentation. The implementation
// in this folder runs them on OpenGL 3.3 core.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32/win32.h"

constexpr UINT D3D_SDK_VERSION = 120;
constexpr UINT D3DADAPTER_DEFAULT = 0;

// --- result codes -------------------------------------------------------------
constexpr HRESULT D3D_OK = 0;
#define QV_D3DERR(code) static_cast<HRESULT>(0x88760000u | (code))
constexpr HRESULT D3DERR_WRONGTEXTUREFORMAT = QV_D3DERR(2072);
constexpr HRESULT D3DERR_UNSUPPORTEDCOLOROPERATION = QV_D3DERR(2073);
constexpr HRESULT D3DERR_TOOMANYOPERATIONS = QV_D3DERR(2077);
constexpr HRESULT D3DERR_CONFLICTINGTEXTUREFILTER = QV_D3DERR(2078);
constexpr HRESULT D3DERR_UNSUPPORTEDTEXTUREFILTER = QV_D3DERR(2082);
constexpr HRESULT D3DERR_DRIVERINTERNALERROR = QV_D3DERR(2087);
constexpr HRESULT D3DERR_NOTFOUND = QV_D3DERR(2150);
constexpr HRESULT D3DERR_MOREDATA = QV_D3DERR(2151);
constexpr HRESULT D3DERR_DEVICELOST = QV_D3DERR(2152);
constexpr HRESULT D3DERR_DEVICENOTRESET = QV_D3DERR(2153);
constexpr HRESULT D3DERR_NOTAVAILABLE = QV_D3DERR(2154);
constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = QV_D3DERR(380);
constexpr HRESULT D3DERR_INVALIDDEVICE = QV_D3DERR(2155);
constexpr HRESULT D3DERR_INVALIDCALL = QV_D3DERR(2156);
constexpr HRESULT D3DERR_DRIVERINVALIDCALL = QV_D3DERR(2157);
#undef QV_D3DERR

// --- enumerations ---------------------------------------------------------------
constexpr std::uint32_t QV_MAKEFOURCC(char a, char b, char c, char d) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(a)) |
         (static_cast<std::uint32_t>(static_cast<std::uint8_t>(b)) << 8) |
         (static_cast<std::uint32_t>(static_cast<std::uint8_t>(c)) << 16) |
         (static_cast<std::uint32_t>(static_cast<std::uint8_t>(d)) << 24);
}

enum D3DFORMAT : std::uint32_t {
  D3DFMT_UNKNOWN = 0,
  D3DFMT_R8G8B8 = 20,
  D3DFMT_A8R8G8B8 = 21,
  D3DFMT_X8R8G8B8 = 22,
  D3DFMT_R5G6B5 = 23,
  D3DFMT_X1R5G5B5 = 24,
  D3DFMT_A1R5G5B5 = 25,
  D3DFMT_A4R4G4B4 = 26,
  D3DFMT_R3G3B2 = 27,
  D3DFMT_A8 = 28,
  D3DFMT_A8R3G3B2 = 29,
  D3DFMT_X4R4G4B4 = 30,
  D3DFMT_A8P8 = 40,
  D3DFMT_P8 = 41,
  D3DFMT_L8 = 50,
  D3DFMT_A8L8 = 51,
  D3DFMT_A4L4 = 52,
  D3DFMT_V8U8 = 60,
  D3DFMT_L6V5U5 = 61,
  D3DFMT_X8L8V8U8 = 62,
  D3DFMT_Q8W8V8U8 = 63,
  D3DFMT_V16U16 = 64,
  D3DFMT_W11V11U10 = 65,
  D3DFMT_UYVY = QV_MAKEFOURCC('U', 'Y', 'V', 'Y'),
  D3DFMT_YUY2 = QV_MAKEFOURCC('Y', 'U', 'Y', '2'),
  D3DFMT_DXT1 = QV_MAKEFOURCC('D', 'X', 'T', '1'),
  D3DFMT_DXT2 = QV_MAKEFOURCC('D', 'X', 'T', '2'),
  D3DFMT_DXT3 = QV_MAKEFOURCC('D', 'X', 'T', '3'),
  D3DFMT_DXT4 = QV_MAKEFOURCC('D', 'X', 'T', '4'),
  D3DFMT_DXT5 = QV_MAKEFOURCC('D', 'X', 'T', '5'),
  D3DFMT_D16_LOCKABLE = 70,
  D3DFMT_D32 = 71,
  D3DFMT_D15S1 = 73,
  D3DFMT_D24S8 = 75,
  D3DFMT_D16 = 80,
  D3DFMT_D24X8 = 77,
  D3DFMT_D24X4S4 = 79,
  D3DFMT_VERTEXDATA = 100,
  D3DFMT_INDEX16 = 101,
  D3DFMT_INDEX32 = 102,
};

enum D3DDEVTYPE : std::uint32_t { D3DDEVTYPE_HAL = 1, D3DDEVTYPE_REF = 2, D3DDEVTYPE_SW = 3 };

enum D3DRESOURCETYPE : std::uint32_t {
  D3DRTYPE_SURFACE = 1,
  D3DRTYPE_VOLUME = 2,
  D3DRTYPE_TEXTURE = 3,
  D3DRTYPE_VOLUMETEXTURE = 4,
  D3DRTYPE_CUBETEXTURE = 5,
  D3DRTYPE_VERTEXBUFFER = 6,
  D3DRTYPE_INDEXBUFFER = 7,
};

enum D3DPOOL : std::uint32_t { D3DPOOL_DEFAULT = 0, D3DPOOL_MANAGED = 1, D3DPOOL_SYSTEMMEM = 2 };

enum D3DMULTISAMPLE_TYPE : std::uint32_t { D3DMULTISAMPLE_NONE = 0 };

enum D3DSWAPEFFECT : std::uint32_t {
  D3DSWAPEFFECT_DISCARD = 1,
  D3DSWAPEFFECT_FLIP = 2,
  D3DSWAPEFFECT_COPY = 3,
  D3DSWAPEFFECT_COPY_VSYNC = 4,
};

enum D3DPRIMITIVETYPE : std::uint32_t {
  D3DPT_POINTLIST = 1,
  D3DPT_LINELIST = 2,
  D3DPT_LINESTRIP = 3,
  D3DPT_TRIANGLELIST = 4,
  D3DPT_TRIANGLESTRIP = 5,
  D3DPT_TRIANGLEFAN = 6,
};

enum D3DTRANSFORMSTATETYPE : std::uint32_t {
  D3DTS_VIEW = 2,
  D3DTS_PROJECTION = 3,
  D3DTS_TEXTURE0 = 16,
  D3DTS_WORLD = 256,
};

enum D3DRENDERSTATETYPE : std::uint32_t {
  D3DRS_ZENABLE = 7,
  D3DRS_FILLMODE = 8,
  D3DRS_SHADEMODE = 9,
  D3DRS_LINEPATTERN = 10,
  D3DRS_ZWRITEENABLE = 14,
  D3DRS_ALPHATESTENABLE = 15,
  D3DRS_LASTPIXEL = 16,
  D3DRS_SRCBLEND = 19,
  D3DRS_DESTBLEND = 20,
  D3DRS_CULLMODE = 22,
  D3DRS_ZFUNC = 23,
  D3DRS_ALPHAREF = 24,
  D3DRS_ALPHAFUNC = 25,
  D3DRS_DITHERENABLE = 26,
  D3DRS_ALPHABLENDENABLE = 27,
  D3DRS_FOGENABLE = 28,
  D3DRS_SPECULARENABLE = 29,
  D3DRS_ZVISIBLE = 30,
  D3DRS_FOGCOLOR = 34,
  D3DRS_FOGTABLEMODE = 35,
  D3DRS_FOGSTART = 36,
  D3DRS_FOGEND = 37,
  D3DRS_FOGDENSITY = 38,
  D3DRS_EDGEANTIALIAS = 40,
  D3DRS_ZBIAS = 47,
  D3DRS_RANGEFOGENABLE = 48,
  D3DRS_STENCILENABLE = 52,
  D3DRS_STENCILFAIL = 53,
  D3DRS_STENCILZFAIL = 54,
  D3DRS_STENCILPASS = 55,
  D3DRS_STENCILFUNC = 56,
  D3DRS_STENCILREF = 57,
  D3DRS_STENCILMASK = 58,
  D3DRS_STENCILWRITEMASK = 59,
  D3DRS_TEXTUREFACTOR = 60,
  D3DRS_WRAP0 = 128,
  D3DRS_CLIPPING = 136,
  D3DRS_LIGHTING = 137,
  D3DRS_AMBIENT = 139,
  D3DRS_FOGVERTEXMODE = 140,
  D3DRS_COLORVERTEX = 141,
  D3DRS_LOCALVIEWER = 142,
  D3DRS_NORMALIZENORMALS = 143,
  D3DRS_DIFFUSEMATERIALSOURCE = 145,
  D3DRS_SPECULARMATERIALSOURCE = 146,
  D3DRS_AMBIENTMATERIALSOURCE = 147,
  D3DRS_EMISSIVEMATERIALSOURCE = 148,
  D3DRS_VERTEXBLEND = 151,
  D3DRS_CLIPPLANEENABLE = 152,
  D3DRS_SOFTWAREVERTEXPROCESSING = 153,
  D3DRS_POINTSIZE = 154,
  D3DRS_MULTISAMPLEANTIALIAS = 161,
  D3DRS_COLORWRITEENABLE = 168,
  D3DRS_BLENDOP = 171,
};
constexpr UINT QV_D3DRS_COUNT = 256;  // size of a render-state array indexed by D3DRS_*

enum D3DTEXTURESTAGESTATETYPE : std::uint32_t {
  D3DTSS_COLOROP = 1,
  D3DTSS_COLORARG1 = 2,
  D3DTSS_COLORARG2 = 3,
  D3DTSS_ALPHAOP = 4,
  D3DTSS_ALPHAARG1 = 5,
  D3DTSS_ALPHAARG2 = 6,
  D3DTSS_BUMPENVMAT00 = 7,
  D3DTSS_BUMPENVMAT01 = 8,
  D3DTSS_BUMPENVMAT10 = 9,
  D3DTSS_BUMPENVMAT11 = 10,
  D3DTSS_TEXCOORDINDEX = 11,
  D3DTSS_ADDRESSU = 13,
  D3DTSS_ADDRESSV = 14,
  D3DTSS_BORDERCOLOR = 15,
  D3DTSS_MAGFILTER = 16,
  D3DTSS_MINFILTER = 17,
  D3DTSS_MIPFILTER = 18,
  D3DTSS_MIPMAPLODBIAS = 19,
  D3DTSS_MAXMIPLEVEL = 20,
  D3DTSS_MAXANISOTROPY = 21,
  D3DTSS_BUMPENVLSCALE = 22,
  D3DTSS_BUMPENVLOFFSET = 23,
  D3DTSS_TEXTURETRANSFORMFLAGS = 24,
  D3DTSS_ADDRESSW = 25,
  D3DTSS_COLORARG0 = 26,
  D3DTSS_ALPHAARG0 = 27,
  D3DTSS_RESULTARG = 28,
};
constexpr UINT QV_D3DTSS_COUNT = 29;
constexpr UINT QV_MAX_TEXTURE_STAGES = 8;

enum D3DTEXTUREFILTERTYPE : std::uint32_t {
  D3DTEXF_NONE = 0,
  D3DTEXF_POINT = 1,
  D3DTEXF_LINEAR = 2,
  D3DTEXF_ANISOTROPIC = 3,
  D3DTEXF_FLATCUBIC = 4,
  D3DTEXF_GAUSSIANCUBIC = 5,
};

enum D3DTEXTUREADDRESS : std::uint32_t {
  D3DTADDRESS_WRAP = 1,
  D3DTADDRESS_MIRROR = 2,
  D3DTADDRESS_CLAMP = 3,
  D3DTADDRESS_BORDER = 4,
  D3DTADDRESS_MIRRORONCE = 5,
};

enum D3DCULL : std::uint32_t { D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3 };
enum D3DZBUFFERTYPE : std::uint32_t { D3DZB_FALSE = 0, D3DZB_TRUE = 1, D3DZB_USEW = 2 };
enum D3DFOGMODE : std::uint32_t { D3DFOG_NONE = 0, D3DFOG_EXP = 1, D3DFOG_EXP2 = 2, D3DFOG_LINEAR = 3 };
enum D3DMATERIALCOLORSOURCE : std::uint32_t { D3DMCS_MATERIAL = 0, D3DMCS_COLOR1 = 1, D3DMCS_COLOR2 = 2 };
enum D3DCMPFUNC : std::uint32_t {
  D3DCMP_NEVER = 1,
  D3DCMP_LESS = 2,
  D3DCMP_EQUAL = 3,
  D3DCMP_LESSEQUAL = 4,
  D3DCMP_GREATER = 5,
  D3DCMP_NOTEQUAL = 6,
  D3DCMP_GREATEREQUAL = 7,
  D3DCMP_ALWAYS = 8,
};
enum D3DBLEND : std::uint32_t {
  D3DBLEND_ZERO = 1,
  D3DBLEND_ONE = 2,
  D3DBLEND_SRCCOLOR = 3,
  D3DBLEND_INVSRCCOLOR = 4,
  D3DBLEND_SRCALPHA = 5,
  D3DBLEND_INVSRCALPHA = 6,
  D3DBLEND_DESTALPHA = 7,
  D3DBLEND_INVDESTALPHA = 8,
  D3DBLEND_DESTCOLOR = 9,
  D3DBLEND_INVDESTCOLOR = 10,
  D3DBLEND_SRCALPHASAT = 11,
};
enum D3DBLENDOP : std::uint32_t {
  D3DBLENDOP_ADD = 1,
  D3DBLENDOP_SUBTRACT = 2,
  D3DBLENDOP_REVSUBTRACT = 3,
  D3DBLENDOP_MIN = 4,
  D3DBLENDOP_MAX = 5,
};
enum D3DFILLMODE : std::uint32_t { D3DFILL_POINT = 1, D3DFILL_WIREFRAME = 2, D3DFILL_SOLID = 3 };

// --- flags ----------------------------------------------------------------------
constexpr DWORD D3DCREATE_FPU_PRESERVE = 0x02;
constexpr DWORD D3DCREATE_MULTITHREADED = 0x04;
constexpr DWORD D3DCREATE_PUREDEVICE = 0x10;
constexpr DWORD D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x20;
constexpr DWORD D3DCREATE_HARDWARE_VERTEXPROCESSING = 0x40;
constexpr DWORD D3DCREATE_MIXED_VERTEXPROCESSING = 0x80;

constexpr DWORD D3DPRESENT_INTERVAL_DEFAULT = 0x00000000;
constexpr DWORD D3DPRESENT_INTERVAL_ONE = 0x00000001;
constexpr DWORD D3DPRESENT_INTERVAL_IMMEDIATE = 0x80000000u;

constexpr DWORD D3DUSAGE_RENDERTARGET = 0x00000001;
constexpr DWORD D3DUSAGE_DEPTHSTENCIL = 0x00000002;
constexpr DWORD D3DUSAGE_WRITEONLY = 0x00000008;
constexpr DWORD D3DUSAGE_SOFTWAREPROCESSING = 0x00000010;
constexpr DWORD D3DUSAGE_DONOTCLIP = 0x00000020;
constexpr DWORD D3DUSAGE_POINTS = 0x00000040;
constexpr DWORD D3DUSAGE_RTPATCHES = 0x00000080;
constexpr DWORD D3DUSAGE_NPATCHES = 0x00000100;
constexpr DWORD D3DUSAGE_DYNAMIC = 0x00000200;

constexpr DWORD D3DLOCK_READONLY = 0x00000010;
constexpr DWORD D3DLOCK_NOSYSLOCK = 0x00000800;
constexpr DWORD D3DLOCK_NOOVERWRITE = 0x00001000;
constexpr DWORD D3DLOCK_DISCARD = 0x00002000;
constexpr DWORD D3DLOCK_NO_DIRTY_UPDATE = 0x00008000;

constexpr DWORD D3DCLEAR_TARGET = 0x00000001;
constexpr DWORD D3DCLEAR_ZBUFFER = 0x00000002;
constexpr DWORD D3DCLEAR_STENCIL = 0x00000004;

constexpr DWORD D3DFVF_XYZ = 0x002;
constexpr DWORD D3DFVF_XYZRHW = 0x004;
constexpr DWORD D3DFVF_NORMAL = 0x010;
constexpr DWORD D3DFVF_DIFFUSE = 0x040;
constexpr DWORD D3DFVF_SPECULAR = 0x080;
constexpr DWORD D3DFVF_TEX1 = 0x100;
constexpr DWORD D3DFVF_TEX2 = 0x200;
constexpr DWORD D3DFVF_TEX3 = 0x300;

// Texture capabilities (D3DCAPS8::TextureCaps).
constexpr DWORD D3DPTEXTURECAPS_PERSPECTIVE = 0x00000001;
constexpr DWORD D3DPTEXTURECAPS_POW2 = 0x00000002;
constexpr DWORD D3DPTEXTURECAPS_ALPHA = 0x00000004;
constexpr DWORD D3DPTEXTURECAPS_SQUAREONLY = 0x00000020;
constexpr DWORD D3DPTEXTURECAPS_TEXREPEATNOTSCALEDBYSIZE = 0x00000040;
constexpr DWORD D3DPTEXTURECAPS_ALPHAPALETTE = 0x00000080;
constexpr DWORD D3DPTEXTURECAPS_NONPOW2CONDITIONAL = 0x00000100;
constexpr DWORD D3DPTEXTURECAPS_PROJECTED = 0x00000400;
constexpr DWORD D3DPTEXTURECAPS_CUBEMAP = 0x00000800;
constexpr DWORD D3DPTEXTURECAPS_VOLUMEMAP = 0x00002000;
constexpr DWORD D3DPTEXTURECAPS_MIPMAP = 0x00004000;
constexpr DWORD D3DPTEXTURECAPS_MIPVOLUMEMAP = 0x00008000;
constexpr DWORD D3DPTEXTURECAPS_MIPCUBEMAP = 0x00010000;
constexpr DWORD D3DPTEXTURECAPS_CUBEMAP_POW2 = 0x00020000;

// Shader versions as the caps report them.
constexpr DWORD D3DVS_VERSION(DWORD major, DWORD minor) { return 0xFFFE0000u | (major << 8) | minor; }
constexpr DWORD D3DPS_VERSION(DWORD major, DWORD minor) { return 0xFFFF0000u | (major << 8) | minor; }

// Vertex shader declaration tokens.
constexpr DWORD D3DVSD_TOKENTYPESHIFT = 29;
constexpr DWORD D3DVSD_TOKEN_NOP = 0;
constexpr DWORD D3DVSD_TOKEN_STREAM = 1;
constexpr DWORD D3DVSD_TOKEN_STREAMDATA = 2;
constexpr DWORD D3DVSD_TOKEN_TESSELLATOR = 3;
constexpr DWORD D3DVSD_TOKEN_CONSTMEM = 4;
constexpr DWORD D3DVSD_TOKEN_EXT = 5;
constexpr DWORD D3DVSD_TOKEN_END = 7;
constexpr DWORD D3DVSDT_FLOAT1 = 0;
constexpr DWORD D3DVSDT_FLOAT2 = 1;
constexpr DWORD D3DVSDT_FLOAT3 = 2;
constexpr DWORD D3DVSDT_FLOAT4 = 3;
constexpr DWORD D3DVSDT_D3DCOLOR = 4;
constexpr DWORD D3DVSDT_UBYTE4 = 5;
constexpr DWORD D3DVSDT_SHORT2 = 6;
constexpr DWORD D3DVSDT_SHORT4 = 7;
constexpr DWORD D3DVSD_STREAM(DWORD stream) { return (D3DVSD_TOKEN_STREAM << 29) | stream; }
constexpr DWORD D3DVSD_REG(DWORD reg, DWORD type) {
  return (D3DVSD_TOKEN_STREAMDATA << 29) | (type << 16) | reg;
}
constexpr DWORD D3DVSD_CONST(DWORD first, DWORD count) {
  return (D3DVSD_TOKEN_CONSTMEM << 29) | (count << 25) | first;
}
constexpr DWORD D3DVSD_END() { return 0xFFFFFFFFu; }

// --- structures -------------------------------------------------------------------
using D3DCOLOR = DWORD;

struct D3DCOLORVALUE {
  float r, g, b, a;
};

struct D3DVECTOR {
  float x, y, z;
};

struct D3DMATRIX {
  union {
    struct {
      float _11, _12, _13, _14;
      float _21, _22, _23, _24;
      float _31, _32, _33, _34;
      float _41, _42, _43, _44;
    };
    float m[4][4];
  };
};

struct D3DMATERIAL8 {
  D3DCOLORVALUE Diffuse;
  D3DCOLORVALUE Ambient;
  D3DCOLORVALUE Specular;
  D3DCOLORVALUE Emissive;
  float Power;
};

struct D3DVIEWPORT8 {
  DWORD X, Y, Width, Height;
  float MinZ, MaxZ;
};

struct D3DRECT {
  LONG x1, y1, x2, y2;
};

struct D3DDISPLAYMODE {
  UINT Width;
  UINT Height;
  UINT RefreshRate;
  D3DFORMAT Format;
};

struct D3DPRESENT_PARAMETERS {
  UINT BackBufferWidth;
  UINT BackBufferHeight;
  D3DFORMAT BackBufferFormat;
  UINT BackBufferCount;
  D3DMULTISAMPLE_TYPE MultiSampleType;
  D3DSWAPEFFECT SwapEffect;
  HWND hDeviceWindow;
  BOOL Windowed;
  BOOL EnableAutoDepthStencil;
  D3DFORMAT AutoDepthStencilFormat;
  DWORD Flags;
  UINT FullScreen_RefreshRateInHz;
  UINT FullScreen_PresentationInterval;
};

struct D3DCAPS8 {
  D3DDEVTYPE DeviceType;
  UINT AdapterOrdinal;
  DWORD Caps;
  DWORD Caps2;
  DWORD Caps3;
  DWORD PresentationIntervals;
  DWORD CursorCaps;
  DWORD DevCaps;
  DWORD PrimitiveMiscCaps;
  DWORD RasterCaps;
  DWORD ZCmpCaps;
  DWORD SrcBlendCaps;
  DWORD DestBlendCaps;
  DWORD AlphaCmpCaps;
  DWORD ShadeCaps;
  DWORD TextureCaps;
  DWORD TextureFilterCaps;
  DWORD CubeTextureFilterCaps;
  DWORD VolumeTextureFilterCaps;
  DWORD TextureAddressCaps;
  DWORD VolumeTextureAddressCaps;
  DWORD LineCaps;
  DWORD MaxTextureWidth;
  DWORD MaxTextureHeight;
  DWORD MaxVolumeExtent;
  DWORD MaxTextureRepeat;
  DWORD MaxTextureAspectRatio;
  DWORD MaxAnisotropy;
  float MaxVertexW;
  float GuardBandLeft;
  float GuardBandTop;
  float GuardBandRight;
  float GuardBandBottom;
  float ExtentsAdjust;
  DWORD StencilCaps;
  DWORD FVFCaps;
  DWORD TextureOpCaps;
  DWORD MaxTextureBlendStages;
  DWORD MaxSimultaneousTextures;
  DWORD VertexProcessingCaps;
  DWORD MaxActiveLights;
  DWORD MaxUserClipPlanes;
  DWORD MaxVertexBlendMatrices;
  DWORD MaxVertexBlendMatrixIndex;
  float MaxPointSize;
  DWORD MaxPrimitiveCount;
  DWORD MaxVertexIndex;
  DWORD MaxStreams;
  DWORD MaxStreamStride;
  DWORD VertexShaderVersion;
  DWORD MaxVertexShaderConst;
  DWORD PixelShaderVersion;
  float MaxPixelShaderValue;
};

struct D3DSURFACE_DESC {
  D3DFORMAT Format;
  D3DRESOURCETYPE Type;
  DWORD Usage;
  D3DPOOL Pool;
  UINT Size;
  D3DMULTISAMPLE_TYPE MultiSampleType;
  UINT Width;
  UINT Height;
};

struct D3DVERTEXBUFFER_DESC {
  D3DFORMAT Format;
  D3DRESOURCETYPE Type;
  DWORD Usage;
  D3DPOOL Pool;
  UINT Size;
  DWORD FVF;
};

struct D3DINDEXBUFFER_DESC {
  D3DFORMAT Format;
  D3DRESOURCETYPE Type;
  DWORD Usage;
  D3DPOOL Pool;
  UINT Size;
};

struct D3DLOCKED_RECT {
  INT Pitch;
  void* pBits;
};

// --- interfaces ---------------------------------------------------------------------
struct IDirect3D8;
struct IDirect3DDevice8;
struct IDirect3DSurface8;

struct IDirect3DResource8 : IUnknown {
  virtual HRESULT GetDevice(IDirect3DDevice8** ppDevice) = 0;
  virtual DWORD SetPriority(DWORD priority) = 0;
  virtual DWORD GetPriority() = 0;
  virtual void PreLoad() = 0;
  virtual D3DRESOURCETYPE GetType() = 0;

 protected:
  ~IDirect3DResource8() = default;
};

struct IDirect3DBaseTexture8 : IDirect3DResource8 {
  virtual DWORD SetLOD(DWORD lod) = 0;
  virtual DWORD GetLOD() = 0;
  virtual DWORD GetLevelCount() = 0;

 protected:
  ~IDirect3DBaseTexture8() = default;
};

struct IDirect3DTexture8 : IDirect3DBaseTexture8 {
  virtual HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* pDesc) = 0;
  virtual HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface8** ppSurface) = 0;
  virtual HRESULT LockRect(UINT level, D3DLOCKED_RECT* pLocked, const RECT* pRect, DWORD flags) = 0;
  virtual HRESULT UnlockRect(UINT level) = 0;
  virtual HRESULT AddDirtyRect(const RECT* pRect) = 0;

 protected:
  ~IDirect3DTexture8() = default;
};

struct IDirect3DSurface8 : IUnknown {
  virtual HRESULT GetDevice(IDirect3DDevice8** ppDevice) = 0;
  virtual HRESULT GetContainer(REFIID riid, void** ppContainer) = 0;
  virtual HRESULT GetDesc(D3DSURFACE_DESC* pDesc) = 0;
  virtual HRESULT LockRect(D3DLOCKED_RECT* pLocked, const RECT* pRect, DWORD flags) = 0;
  virtual HRESULT UnlockRect() = 0;

 protected:
  ~IDirect3DSurface8() = default;
};

struct IDirect3DVertexBuffer8 : IDirect3DResource8 {
  virtual HRESULT Lock(UINT offset, UINT size, BYTE** ppData, DWORD flags) = 0;
  virtual HRESULT Unlock() = 0;
  virtual HRESULT GetDesc(D3DVERTEXBUFFER_DESC* pDesc) = 0;

 protected:
  ~IDirect3DVertexBuffer8() = default;
};

struct IDirect3DIndexBuffer8 : IDirect3DResource8 {
  virtual HRESULT Lock(UINT offset, UINT size, BYTE** ppData, DWORD flags) = 0;
  virtual HRESULT Unlock() = 0;
  virtual HRESULT GetDesc(D3DINDEXBUFFER_DESC* pDesc) = 0;

 protected:
  ~IDirect3DIndexBuffer8() = default;
};

// The device. Only the operations the system and the texture loader use are
// declared; the order is not the original vtable order and need not be.
// The device's methods, one line each and grouped as the interface declares
// them: X(return type, name, (parameters), (arguments)). IDirect3DDevice8
// declares its pure virtual methods from this list, and the tests' forwarding
// device (testing/forwarding_device.h) forwards them, so a new method is one line.
// clang-format off
#define QV_D3D8_DEVICE_METHODS(X) \
  /* the Direct3D object, the caps and the display mode */ \
  X(HRESULT, GetDirect3D, (IDirect3D8** ppD3D), (ppD3D)) \
  X(HRESULT, GetDeviceCaps, (D3DCAPS8* pCaps), (pCaps)) \
  X(HRESULT, GetDisplayMode, (D3DDISPLAYMODE* pMode), (pMode)) \
  /* resources */ \
  X(HRESULT, CreateTexture, (UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DTexture8** ppTexture), (width, height, levels, usage, format, pool, ppTexture)) \
  X(HRESULT, CreateVertexBuffer, (UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer8** ppVB), (length, usage, fvf, pool, ppVB)) \
  X(HRESULT, CreateIndexBuffer, (UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DIndexBuffer8** ppIB), (length, usage, format, pool, ppIB)) \
  X(HRESULT, UpdateTexture, (IDirect3DBaseTexture8* pSource, IDirect3DBaseTexture8* pDest), (pSource, pDest)) \
  /* the frame */ \
  X(HRESULT, Clear, (DWORD count, const D3DRECT* pRects, DWORD flags, D3DCOLOR color, float z, DWORD stencil), (count, pRects, flags, color, z, stencil)) \
  X(HRESULT, BeginScene, (), ()) \
  X(HRESULT, EndScene, (), ()) \
  X(HRESULT, Present, (const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride, const void* pDirtyRegion), (pSourceRect, pDestRect, hDestWindowOverride, pDirtyRegion)) \
  /* viewport, transforms, material and render states */ \
  X(HRESULT, SetViewport, (const D3DVIEWPORT8* pViewport), (pViewport)) \
  X(HRESULT, GetViewport, (D3DVIEWPORT8* pViewport), (pViewport)) \
  X(HRESULT, SetTransform, (D3DTRANSFORMSTATETYPE state, const D3DMATRIX* pMatrix), (state, pMatrix)) \
  X(HRESULT, GetTransform, (D3DTRANSFORMSTATETYPE state, D3DMATRIX* pMatrix), (state, pMatrix)) \
  X(HRESULT, SetMaterial, (const D3DMATERIAL8* pMaterial), (pMaterial)) \
  X(HRESULT, GetMaterial, (D3DMATERIAL8* pMaterial), (pMaterial)) \
  X(HRESULT, SetRenderState, (D3DRENDERSTATETYPE state, DWORD value), (state, value)) \
  X(HRESULT, GetRenderState, (D3DRENDERSTATETYPE state, DWORD* pValue), (state, pValue)) \
  /* texture stages */ \
  X(HRESULT, SetTexture, (DWORD stage, IDirect3DBaseTexture8* pTexture), (stage, pTexture)) \
  X(HRESULT, GetTexture, (DWORD stage, IDirect3DBaseTexture8** ppTexture), (stage, ppTexture)) \
  X(HRESULT, SetTextureStageState, (DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value), (stage, type, value)) \
  X(HRESULT, GetTextureStageState, (DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* pValue), (stage, type, pValue)) \
  /* streams and drawing */ \
  X(HRESULT, SetStreamSource, (UINT stream, IDirect3DVertexBuffer8* pVB, UINT stride), (stream, pVB, stride)) \
  X(HRESULT, SetIndices, (IDirect3DIndexBuffer8* pIB, UINT baseVertexIndex), (pIB, baseVertexIndex)) \
  X(HRESULT, DrawPrimitive, (D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount), (type, startVertex, primitiveCount)) \
  X(HRESULT, DrawIndexedPrimitive, (D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT startIndex, UINT primitiveCount), (type, minIndex, numVertices, startIndex, primitiveCount)) \
  /* vertex shaders */ \
  X(HRESULT, CreateVertexShader, (const DWORD* pDeclaration, const DWORD* pFunction, DWORD* pHandle, DWORD usage), (pDeclaration, pFunction, pHandle, usage)) \
  X(HRESULT, SetVertexShader, (DWORD handle), (handle)) \
  X(HRESULT, GetVertexShader, (DWORD* pHandle), (pHandle)) \
  X(HRESULT, DeleteVertexShader, (DWORD handle), (handle)) \
  X(HRESULT, SetVertexShaderConstant, (DWORD reg, const void* pData, DWORD count), (reg, pData, count)) \
  X(HRESULT, GetVertexShaderConstant, (DWORD reg, void* pData, DWORD count), (reg, pData, count)) \
  /* pixel shaders */ \
  X(HRESULT, CreatePixelShader, (const DWORD* pFunction, DWORD* pHandle), (pFunction, pHandle)) \
  X(HRESULT, SetPixelShader, (DWORD handle), (handle)) \
  X(HRESULT, GetPixelShader, (DWORD* pHandle), (pHandle)) \
  X(HRESULT, DeletePixelShader, (DWORD handle), (handle)) \
  X(HRESULT, SetPixelShaderConstant, (DWORD reg, const void* pData, DWORD count), (reg, pData, count)) \
  X(HRESULT, GetPixelShaderConstant, (DWORD reg, void* pData, DWORD count), (reg, pData, count))
// clang-format on

struct IDirect3DDevice8 : IUnknown {
#define QV_D3D8_DECLARE_METHOD(ret, name, params, args) virtual ret name params = 0;
  QV_D3D8_DEVICE_METHODS(QV_D3D8_DECLARE_METHOD)
#undef QV_D3D8_DECLARE_METHOD

 protected:
  ~IDirect3DDevice8() = default;
};

struct IDirect3D8 : IUnknown {
  virtual UINT GetAdapterCount() = 0;
  virtual HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* pMode) = 0;
  virtual HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat, DWORD usage,
                                    D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) = 0;
  virtual HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS8* pCaps) = 0;
  virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND hFocusWindow, DWORD behaviorFlags,
                               D3DPRESENT_PARAMETERS* pParams, IDirect3DDevice8** ppDevice) = 0;

 protected:
  ~IDirect3D8() = default;
};

IDirect3D8* Direct3DCreate8(UINT sdkVersion);

// The shader validators of the runtime module "d3d8.dll" (the assembler finds
// them with GetProcAddress). A failed stream returns D3DERR_INVALIDCALL and,
// when asked for, an error text allocated on the process heap (HeapFree).
HRESULT ValidateVertexShader(const DWORD* pFunction, const DWORD* pDeclaration, const D3DCAPS8* pCaps,
                             BOOL bReturnErrors, char** ppErrors);
HRESULT ValidatePixelShader(const DWORD* pFunction, const D3DCAPS8* pCaps, BOOL bReturnErrors,
                            char** ppErrors);
// Registers "d3d8.dll" with its exports as a built-in module: the validators,
// and Direct3DCreate8 once it has been called (it registers the module too).
void QvD3D8RegisterModule();
