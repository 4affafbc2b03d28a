/* createdate: 05/05/2020 17:42:51.297 , modifydate: 05/05/2020 17:42:51.297 */
go
/****** Object:  StoredProcedure [dbo].[ sp_msins_dbolkpregion ] ******/
 
IF object_id('dbo.[sp_msins_dbolkpregion]') IS NOT NULL 
	DROP PROCEDURE dbo.[sp_msins_dbolkpregion]
GO
---------------------------
create procedure [dbo].[sp_msins_dbolkpregion]
    @c1 int,
    @c2 nvarchar(50),
    @c3 bit
as
begin
		set identity_insert  lkpregion ON

insert into [dbo].[lkpregion] (
		[regionid],
		[regiondescription],
		[isactiveflag]
	) values (
		@c1,
		@c2,
		@c3	)	set identity_insert  lkpregion OFF

end
go

