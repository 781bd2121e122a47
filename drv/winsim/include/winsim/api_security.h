// advapi32 and kernel32: SIDs, tokens, processes opened by id, starting a program with another
// user's token, boundary descriptors and private namespaces.
#pragma once
#include "winsim/api_process.h"
#include "winsim/win_types.h"

typedef BYTE BOOLEAN;
typedef PVOID PSID;
typedef HANDLE* PHANDLE;
typedef DWORD* PDWORD;

typedef struct _SID_IDENTIFIER_AUTHORITY {
  BYTE Value[6];
} SID_IDENTIFIER_AUTHORITY, *PSID_IDENTIFIER_AUTHORITY;

typedef struct _SID {
  BYTE Revision;
  BYTE SubAuthorityCount;
  SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
  DWORD SubAuthority[1];
} SID, *PISID;

#define SID_MAX_SUB_AUTHORITIES 15
#define SECURITY_MAX_SID_SIZE (sizeof(SID) - sizeof(DWORD) + (SID_MAX_SUB_AUTHORITIES * sizeof(DWORD)))

typedef struct _SID_AND_ATTRIBUTES {
  PSID Sid;
  DWORD Attributes;
} SID_AND_ATTRIBUTES, *PSID_AND_ATTRIBUTES;

typedef struct _TOKEN_USER {
  SID_AND_ATTRIBUTES User;
} TOKEN_USER, *PTOKEN_USER;

typedef struct _TOKEN_ELEVATION {
  DWORD TokenIsElevated;
} TOKEN_ELEVATION, *PTOKEN_ELEVATION;

typedef enum _WELL_KNOWN_SID_TYPE {
  WinWorldSid = 1,
  WinCreatorOwnerSid = 3,
  WinAuthenticatedUserSid = 17,
  WinLocalSystemSid = 22,
  WinBuiltinAdministratorsSid = 26,
  WinBuiltinUsersSid = 27,
} WELL_KNOWN_SID_TYPE;

typedef enum _TOKEN_TYPE { TokenPrimary = 1, TokenImpersonation } TOKEN_TYPE;

typedef enum _SECURITY_IMPERSONATION_LEVEL {
  SecurityAnonymous,
  SecurityIdentification,
  SecurityImpersonation,
  SecurityDelegation
} SECURITY_IMPERSONATION_LEVEL;

// Only the classes winsim answers; the values are winnt.h's.
typedef enum _TOKEN_INFORMATION_CLASS {
  TokenUser = 1,
  TokenType = 8,
  TokenSessionId = 12,
  TokenElevation = 20,
} TOKEN_INFORMATION_CLASS;

#define TOKEN_ASSIGN_PRIMARY 0x0001
#define TOKEN_DUPLICATE 0x0002
#define TOKEN_IMPERSONATE 0x0004
#define TOKEN_QUERY 0x0008
#define TOKEN_ALL_ACCESS 0x000F01FF

#define PROCESS_QUERY_INFORMATION 0x0400
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000

#define LOGON_WITH_PROFILE 0x00000001

#define PRIVATE_NAMESPACE_FLAG_DESTROY 0x00000001

BOOL CreateWellKnownSid(WELL_KNOWN_SID_TYPE type, PSID domainSid, PSID sid, DWORD* sidBytes);
BOOL EqualSid(PSID sid1, PSID sid2);
DWORD GetLengthSid(PSID sid);
BOOL IsValidSid(PSID sid);
BOOL ConvertSidToStringSidW(PSID sid, LPWSTR* text);
BOOL ConvertStringSidToSidW(LPCWSTR text, PSID* sid);

HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId);
BOOL ProcessIdToSessionId(DWORD processId, DWORD* sessionId);
BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token);
BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info, DWORD length,
                         PDWORD returnLength);
BOOL DuplicateTokenEx(HANDLE existing, DWORD desiredAccess, LPSECURITY_ATTRIBUTES attributes,
                      SECURITY_IMPERSONATION_LEVEL level, TOKEN_TYPE type, PHANDLE newToken);
BOOL CreateProcessWithTokenW(HANDLE token, DWORD logonFlags, LPCWSTR applicationName, LPWSTR commandLine,
                             DWORD creationFlags, LPVOID environment, LPCWSTR currentDirectory,
                             LPSTARTUPINFOW startupInfo, LPPROCESS_INFORMATION processInformation);

HANDLE CreateBoundaryDescriptorW(LPCWSTR name, ULONG flags);
BOOL AddSIDToBoundaryDescriptor(HANDLE* boundaryDescriptor, PSID requiredSid);
void DeleteBoundaryDescriptor(HANDLE boundaryDescriptor);
HANDLE CreatePrivateNamespaceW(LPSECURITY_ATTRIBUTES attributes, LPVOID boundaryDescriptor, LPCWSTR aliasPrefix);
HANDLE OpenPrivateNamespaceW(LPVOID boundaryDescriptor, LPCWSTR aliasPrefix);
BOOLEAN ClosePrivateNamespace(HANDLE handle, ULONG flags);
